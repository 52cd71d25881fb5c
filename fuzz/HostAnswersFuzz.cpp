// Fuzz target: what the host itself answers, as a project the add-on has never seen would make it
// answer. The input picks a sample project (byte 0) and then edits it, one operation after
// another: stories, elements of any type on any story with boxes at the edges of the doubles
// (degenerate, inverted, huge; never NaN), camera elements, navigator folders and items nested
// in either map, with or without a camera (a camera, another element, nothing at all), names of
// any length and UTF-16 content, the starting projection (perspective or parallel), the layer
// combinations, the front window, and failures of any host operation. Then the page asks for
// "listViews", captures one listed view and "current", and places the first capture.
//
// What must hold: exactly one reply each, every message whole JSON; no view id listed twice;
// with no failure injected, the listing, every capture of a listed id and the placing answer ok
// (a capture may answer {"empty":true}), except that a view the listing marked unavailable is
// refused as "view_unavailable"; the user's view (front window, projection, layer
// combination, every field the host hands out) the same after each capture as before, unless a
// view-state operation of the host was made to fail; nothing left running afterwards.
#include <rapidjson/document.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "fuzz/FuzzHost.h"
#include "panel/Replies.h"
#include "platform/Utf.h"

namespace {
using namespace FuzzBridge;

constexpr size_t kMostOperations = 48;
constexpr size_t kMostElements = 64;
// Captures are the slow part of a run (the enlargement of each picture): one listed view, picked
// by the input, and the current one.
constexpr size_t kListedCaptures = 1;

const double kEdges[] = {0.0,  -0.0,    1.0,     -1.0,   0.5,     3.0,      -7.25,   1e-300, -1e-300, 5e-324,
                         1e6,  -1e6,    1e15,    -1e15,  1e300,   -1e300,   DBL_MAX, -DBL_MAX, 2.5,    12.0};
const int32_t kTypes[] = {SimType::kWall,  SimType::kColumn, SimType::kBeam,   SimType::kWindow, SimType::kDoor,
                          SimType::kObject, SimType::kLamp,  SimType::kSlab,   SimType::kRoof,   SimType::kMesh,
                          SimType::kZone,  SimType::kCamera, SimType::kCurtainWall, SimType::kShell,
                          SimType::kSkylight, SimType::kMorph, SimType::kStair};
const int32_t kNavTypes[] = {SimNavType::kPerspective, SimNavType::kAxonometry, SimNavType::kCamera,
                             SimNavType::kCameraSet, SimNavType::kFolder, SimNavType::kStory};
// The operations whose failure may leave the user's view as the capture made it.
const std::set<std::string> kViewStateOperations = {"GetFrontWindow", "ChangeFrontWindow", "GetProjection3D",
                                                    "SetProjection3D", "Redraw3D", "GetLayerCombination",
                                                    "SetLayerCombination"};

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Done() const { return at_ >= size_; }
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    size_t Pick(size_t count) { return count == 0 ? 0 : Byte() % count; }
    double Number() {
        const uint8_t b = Byte();
        if (b < 0xF0) return kEdges[b % (sizeof kEdges / sizeof kEdges[0])];
        uint64_t bits = 0;
        for (int i = 0; i < 8; ++i) bits = (bits << 8) | Byte();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return std::isfinite(value) ? value : 0.0;
    }
    // Up to 255 units, or far more after a length byte of 255: ASCII from one byte, any unit
    // (a lone surrogate, a NUL) from two.
    std::u16string Text() {
        size_t length = Byte();
        if (length == 255) length += size_t{Byte()} * 16;
        std::u16string text;
        for (size_t i = 0; i < length && !Done(); ++i) {
            const uint8_t b = Byte();
            text.push_back(b < 0x80 ? char16_t(b) : char16_t(((b & 0x7F) << 9) | (Byte() << 1) | (b & 1)));
        }
        return text;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

std::vector<SimNavigatorNode*> Nodes(SimNavigatorNode& root) {
    std::vector<SimNavigatorNode*> nodes{&root};
    for (size_t i = 0; i < nodes.size(); ++i)
        for (SimNavigatorNode& child : nodes[i]->children) nodes.push_back(&child);
    return nodes;
}

Box3D ABox(Reader& in) {
    Box3D box;
    box.xMin = in.Number(), box.yMin = in.Number(), box.zMin = in.Number();
    box.xMax = in.Number(), box.yMax = in.Number(), box.zMax = in.Number();
    return box;
}

PerspectiveCamera ACamera(Reader& in) {
    PerspectiveCamera c;
    c.cameraX = in.Number(), c.cameraY = in.Number(), c.cameraZ = in.Number();
    c.targetX = in.Number(), c.targetY = in.Number(), c.targetZ = in.Number();
    c.viewAngle = in.Number(), c.roll = in.Number(), c.distance = in.Number();
    return c;
}

// Edits the host's project as the input says; sets `failed` when any host operation was made to
// fail, and `viewStateFailed` when one of the view state's was.
void Edit(SimHost& host, Reader& in, bool* failed, bool* viewStateFailed) {
    SimModel& model = host.model;
    int made = 0;
    auto newGuid = [&] { return SimGuid("host-answers-" + std::to_string(made++)); };
    for (size_t op = 0; op < kMostOperations && !in.Done(); ++op) {
        switch (in.Byte() % 12) {
            case 0: {
                SimStory story;
                story.index = static_cast<int8_t>(in.Byte());
                story.level = in.Number();
                const std::u16string name = in.Text();
                story.name = Utf16ToUtf8(name);
                model.stories.push_back(story);
                break;
            }
            case 1:
            case 2: {
                if (model.elements.size() >= kMostElements) break;
                SimElement element;
                element.guid = newGuid();
                element.typeCode = kTypes[in.Pick(sizeof kTypes / sizeof kTypes[0])];
                element.storyIndex = static_cast<int8_t>(in.Byte());
                if (element.typeCode == SimType::kCamera) element.camera = ACamera(in);
                else element.parts.push_back(ABox(in));
                element.colour = uint32_t{in.Byte()} * 0x010203u;
                model.elements.push_back(element);
                break;
            }
            case 3:
                if (!model.elements.empty()) {
                    SimElement& element = model.elements[in.Pick(model.elements.size())];
                    if (element.parts.empty()) element.parts.push_back(ABox(in));
                    else element.parts[in.Pick(element.parts.size())] = ABox(in);
                }
                break;
            case 4:
            case 5: {
                SimNavigatorNode& map = in.Byte() & 1 ? model.viewMap : model.projectMap;
                std::vector<SimNavigatorNode*> nodes = Nodes(map);
                SimNavigatorNode& parent = *nodes[in.Pick(nodes.size())];
                SimNavigatorNode node;
                node.item.guid = newGuid();
                node.item.itemType = kNavTypes[in.Pick(sizeof kNavTypes / sizeof kNavTypes[0])];
                node.item.name = in.Text();
                node.item.idText = in.Text();
                switch (in.Byte() % 4) {
                    case 0: break;  // no camera
                    case 1: {
                        std::vector<const SimElement*> cameras;
                        for (const SimElement& e : model.elements)
                            if (e.typeCode == SimType::kCamera) cameras.push_back(&e);
                        if (!cameras.empty()) node.item.cameraGuid = cameras[in.Pick(cameras.size())]->guid;
                        break;
                    }
                    case 2:
                        if (!model.elements.empty()) node.item.cameraGuid = model.elements[in.Pick(model.elements.size())].guid;
                        break;
                    default: node.item.cameraGuid = newGuid(); break;  // an element that does not exist
                }
                parent.children.push_back(std::move(node));
                break;
            }
            case 6: {
                SimNavigatorNode& map = in.Byte() & 1 ? model.viewMap : model.projectMap;
                std::vector<SimNavigatorNode*> nodes = Nodes(map);
                nodes[in.Pick(nodes.size())]->item.name = in.Text();
                break;
            }
            case 7:
                if (!model.elements.empty()) model.DeleteElement(model.elements[in.Pick(model.elements.size())].guid);
                break;
            case 8: {
                // Set as the user sets it, so that the host's own rules hold: it never shows a
                // perspective whose camera is its target.
                Projection3D projection;
                projection.perspective = in.Byte() & 1;
                projection.camera = ACamera(in);
                host.SetProjection3D(projection, 0);
                break;
            }
            case 9: {
                const std::vector<std::string>& names = SimHost::OperationNames();
                const std::string& name = names[in.Pick(names.size())];
                const uint8_t how = in.Byte();
                const HostError code = how & 2 ? kSimErrBadParameters : kSimErrGeneral;
                host.FailOperation(name, code, (how & 1) != 0);
                *failed = true;
                if (kViewStateOperations.count(name) != 0) *viewStateFailed = true;
                break;
            }
            case 10:
                if (!model.layerCombinations.empty()) {
                    SimLayerCombination& combination = model.layerCombinations[in.Pick(model.layerCombinations.size())];
                    combination.hiddenTypes.push_back(kTypes[in.Pick(sizeof kTypes / sizeof kTypes[0])]);
                }
                break;
            default:
                host.UserBringToFront(in.Byte() & 1 ? SimWindowKind::k3D : SimWindowKind::kFloorPlan);
                break;
        }
    }
}

const ScriptedPage::Message& OneReply(SimHost& host, const std::string& text, const std::string& id) {
    ScriptedPage& page = *host.Page();
    const size_t firstMessage = page.Messages().size(), firstScript = page.Scripts().size();
    page.Post(text);
    Settle(host, 0);
    const Arrivals arrivals = CheckedArrivals(page, firstMessage, firstScript);
    Check(arrivals.replies.size() == 1 && arrivals.replies.front()->Id() == id, "exactly one reply to each request");
    Check(arrivals.events.empty(), "no event beside these replies");
    return *arrivals.replies.front();
}

// The member of an ok reply's result, or null.
const rapidjson::Value* ResultMember(const ScriptedPage::Message& reply, const char* name) {
    const rapidjson::Value* result = Member(*reply.document, "result");
    return result == nullptr ? nullptr : Member(*result, name);
}

// Check() that first shows the reply it is about.
void CheckReply(bool condition, const ScriptedPage::Message& reply, const char* what) {
    if (!condition) std::fprintf(stderr, "reply: %.600s\n", reply.json.c_str());
    Check(condition, what);
}

struct ViewState {
    WindowInfo front;
    Projection3D projection;
    int32_t layerCombination = 0;
    bool operator==(const ViewState&) const = default;
};
// Shows what of the user's view differs, before the check that fails on it.
void Describe(const ViewState& a, const ViewState& b) {
    std::fprintf(stderr, "front %d/%d same guid %d rest %zu/%zu same %d; layers %d/%d; perspective %d/%d rest %zu/%zu same %d\n",
                 a.front.kind, b.front.kind, a.front.databaseGuid == b.front.databaseGuid, a.front.rest.bytes.size(),
                 b.front.rest.bytes.size(), a.front.rest == b.front.rest, a.layerCombination, b.layerCombination,
                 a.projection.perspective, b.projection.perspective, a.projection.rest.bytes.size(),
                 b.projection.rest.bytes.size(), a.projection.rest == b.projection.rest);
    const PerspectiveCamera &p = a.projection.camera, &q = b.projection.camera;
    std::fprintf(stderr, "camera %g %g %g %g %g %g %g %g %g\n    -> %g %g %g %g %g %g %g %g %g\n", p.cameraX, p.cameraY,
                 p.cameraZ, p.targetX, p.targetY, p.targetZ, p.viewAngle, p.roll, p.distance, q.cameraX, q.cameraY,
                 q.cameraZ, q.targetX, q.targetY, q.targetZ, q.viewAngle, q.roll, q.distance);
}
ViewState Current(const SimHost& host) { return ViewState{host.front, host.projection, host.layerCombination}; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    SimHost& host = StartedHost();
    Reader in(data, size);
    const std::vector<std::string>& projects = SampleProjectNames();
    Check(host.LoadModel(projects[in.Pick(projects.size())]), "a sample project loads");
    const uint8_t viewPick = in.Byte();
    bool failed = false, viewStateFailed = false;
    Edit(host, in, &failed, &viewStateFailed);

    // Each view to capture, and the reason the listing gave when it marked the view unavailable.
    std::vector<std::string> ids, reasons, listed, listedReasons;
    const ScriptedPage::Message& listing = OneReply(host, R"({"id":"list","type":"listViews"})", "list");
    CheckReply(listing.Ok() || failed, listing, "the listing answers ok when the host fails nothing");
    if (listing.Ok()) {
        const rapidjson::Value* views = ResultMember(listing, "views");
        Check(views != nullptr && views->IsArray(), "the listing holds its views");
        std::set<std::string> seen;
        for (const rapidjson::Value& view : views->GetArray()) {
            const rapidjson::Value* id = Member(view, "id");
            Check(id != nullptr && id->IsString(), "every listed view has an id");
            const std::string text(id->GetString(), id->GetStringLength());
            Check(seen.insert(text).second, "no view id is listed twice");
            listed.push_back(text);
            const rapidjson::Value* unavailable = Member(view, "unavailable");
            const rapidjson::Value* reason = Member(view, "reason");
            const bool marked = unavailable != nullptr && unavailable->IsTrue();
            Check(!marked || (reason != nullptr && reason->IsString()), "an unavailable view says why");
            listedReasons.push_back(marked ? std::string(reason->GetString(), reason->GetStringLength()) : std::string());
        }
        for (size_t n = 0; n < kListedCaptures && !listed.empty(); ++n) {
            const size_t pick = (viewPick + n) % listed.size();
            ids.push_back(listed[pick]);
            reasons.push_back(listedReasons[pick]);
        }
    }
    ids.push_back("current");
    reasons.emplace_back();

    std::string firstRef;
    for (size_t i = 0; i < ids.size(); ++i) {
        const ViewState before = Current(host);
        const std::string id = "cap-" + std::to_string(i);
        const ScriptedPage::Message& reply = OneReply(
            host, R"({"id":")" + id + R"(","type":"capture","payload":{"viewId":)" + JsonQuote(ids[i]) + "}}", id);
        if (!failed && reasons[i].empty())
            CheckReply(reply.Ok(), reply, "a listed view and the current one capture when the host fails nothing");
        if (!failed && !reasons[i].empty())
            CheckReply(reply.ErrorCode() == "view_unavailable", reply, "a view listed as unavailable is refused as such");
        if (!viewStateFailed && !(Current(host) == before)) {
            Describe(before, Current(host));
            Check(false, "the user's view is put back after a capture");
        }
        if (!reply.Ok() || !firstRef.empty()) continue;
        const rapidjson::Value* ref = ResultMember(reply, "fileRef");
        if (ref != nullptr && ref->IsString()) firstRef.assign(ref->GetString(), ref->GetStringLength());
    }
    if (!firstRef.empty()) {
        const ScriptedPage::Message& placed = OneReply(
            host, R"({"id":"place","type":"place","payload":{"fileRef":)" + JsonQuote(firstRef) + "}}", "place");
        CheckReply(placed.Ok() || failed, placed, "a capture places when the host fails nothing");
    }
    ResetForNextInput(host);
    return 0;
}
