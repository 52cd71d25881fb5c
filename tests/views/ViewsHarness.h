// The common start of the views suites: the add-on in a simulated host with the palette open,
// helpers that drive a listing or a capture through the bridge the way the page and the host
// do, and readers of the log, the replies and the pictures they carry.
#pragma once
#include <rapidjson/document.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/Images.h"
#include "support/Harness.h"
#include "support/ScopedEnvironment.h"

class ViewsHarness : public Harness {
public:
    // The temporary folder points into the test's scratch folder, so leftovers can be counted.
    ViewsHarness();

    // Posts "listViews" and runs the pump once; the reply's result.
    const rapidjson::Value& ListViews(const std::string& id = "list");
    // Posts "capture" for the view, runs the pump and the host's event-loop call; the reply, if
    // one came at once, else null.
    const ScriptedPage::Message* StartCapture(const std::string& id, const std::string& viewId);
    // Lets simulated time pass and runs the pump once.
    void Wait(std::chrono::milliseconds duration);
    // A whole capture: started, 2.5 simulated seconds, the picture; the one reply.
    const ScriptedPage::Message* Capture(const std::string& id, const std::string& viewId);

    // The log's lines, without time stamps, from the first line that contains `from` on (all
    // of them when it is empty).
    std::vector<std::string> LogLines(const std::string& from = "") const;
    bool Logged(const std::string& line) const;
    // Whether any log line contains the text.
    bool LogContains(const std::string& text) const;

    // The view id of the listed entry whose name is given; empty when there is none.
    static std::string IdOf(const rapidjson::Value& listing, const std::string& name);
    static const rapidjson::Value* ViewNamed(const rapidjson::Value& listing, const std::string& name);

    // Files left in the temporary folder.
    size_t TemporaryFiles() const;
    std::string temporaryFolder;

private:
    ScopedEnvironment tmpdir_, tmp_, temp_;
};

// The bytes of a "data:" URL's base64 part; empty when it is not one.
std::string DataUrlBytes(const std::string& url, std::string* contentType = nullptr);
// The decoded picture of JPEG or PNG bytes; fails the test when it cannot be decoded.
Bitmap DecodePicture(const std::string& bytes);
// The share of pixels whose channels differ by more than 60 in sum between two pictures of one
// size.
double ShareDiffering(const Bitmap& a, const Bitmap& b);
// The model's picture from a projection, as the simulated host draws it with every layer shown.
Bitmap Scene(const SimModel& model, const Projection3D& projection, int width, int height);
// The same camera's view of the empty sample project: sky and ground.
Bitmap EmptyScene(const Projection3D& projection, int width, int height);
// Of the pixels where the two predicted pictures clearly differ (channels by more than 120 in
// sum), the share where the picture is nearer the first; fails the test when they differ in less
// than a twentieth of the pixels.
double ShareNearerTheFirst(const Bitmap& picture, const Bitmap& first, const Bitmap& second);
// The member as a string, or empty.
std::string Text(const rapidjson::Value& object, const char* member);
