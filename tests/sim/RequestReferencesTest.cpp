// {{ID.PATH}} in the simulator's request lines: the JSON text of a value of an earlier reply,
// and the refusals for error replies, missing paths and malformed references.
#include <gtest/gtest.h>

#include <map>

#include "sim/RequestReferences.h"

namespace {

class References : public ::testing::Test {
protected:
    void Reply(const std::string& id, const std::string& json) { replies_[id].Parse(json.c_str()); }
    ReplyLookup Lookup() {
        return [this](const std::string& id) -> const rapidjson::Value* {
            const auto it = replies_.find(id);
            return it == replies_.end() ? nullptr : &it->second;
        };
    }
    std::string Substitute(const std::string& line) {
        std::string out, error;
        EXPECT_TRUE(SubstituteReferences(line, Lookup(), &out, &error)) << error;
        return out;
    }
    std::string Refusal(const std::string& line) {
        std::string out, error;
        EXPECT_FALSE(SubstituteReferences(line, Lookup(), &out, &error)) << out;
        return error;
    }

private:
    std::map<std::string, rapidjson::Document> replies_;
};

TEST_F(References, ValuesKeepTheirJsonForm) {
    Reply("list", R"({"id":"list","ok":true,"result":{"projectName":"Casa \"A\"","views":[{"id":"current"},)"
                  R"({"id":"nav-{1}","n":2.5,"flags":[true,null]}]}})");
    Reply("cap", R"({"id":"cap","ok":true,"result":{"fileRef":"cap-0123","width":1600}})");
    EXPECT_EQ(Substitute(R"({"id":"c2","type":"capture","payload":{"viewId":{{list.result.views.1.id}}}})"),
              R"({"id":"c2","type":"capture","payload":{"viewId":"nav-{1}"}})");
    EXPECT_EQ(Substitute("{{list.result.projectName}}"), R"("Casa \"A\"")") << "quotes and escapes kept";
    EXPECT_EQ(Substitute("[{{cap.result.width}},{{list.result.views.1.n}},{{list.result.views.1.flags}}]"),
              "[1600,2.5,[true,null]]");
    EXPECT_EQ(Substitute("{{list.result.views.0}}"), R"({"id":"current"})");
    EXPECT_EQ(Substitute("no references"), "no references");
    EXPECT_EQ(Substitute("{{cap.id}}{{cap.result.fileRef}}"), R"("cap""cap-0123")");
}

TEST_F(References, ErrorRepliesMissingPathsAndUnknownIdsAreRefused) {
    Reply("bad", R"({"id":"bad","ok":false,"error":{"code":"unsupported"}})");
    Reply("ok", R"({"id":"ok","ok":true,"result":{"views":[{"id":"current"}]}})");
    EXPECT_EQ(Refusal("{{bad.error.code}}"), "request bad was answered with an error, so {{bad.error.code}} has no value");
    EXPECT_EQ(Refusal("{{ok.result.views.1.id}}"), "the reply to request ok has no result.views.1.id");
    EXPECT_EQ(Refusal("{{ok.result.views.x}}"), "the reply to request ok has no result.views.x");
    EXPECT_EQ(Refusal("{{ok.result..views}}"), "the reply to request ok has no result..views");
    EXPECT_EQ(Refusal("{{ok.result.views.0.id.more}}"), "the reply to request ok has no result.views.0.id.more");
    EXPECT_EQ(Refusal("{{later.result}}"), "no reply to request later");
}

TEST(ReferenceSyntax, FindsEachReferenceAndRefusesMalformedOnes) {
    std::vector<ReplyReference> found;
    std::string error;
    ASSERT_TRUE(FindReferences(R"({"a":{{list.result.views.1.id}},"b":{{x.y}}})", &found, &error));
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].id, "list");
    EXPECT_EQ(found[0].path, "result.views.1.id");
    EXPECT_EQ(found[1].id, "x");
    EXPECT_EQ(found[1].path, "y");
    for (const auto& [line, message] : std::vector<std::pair<std::string, std::string>>{
             {"{{list.result", "a {{ without its }}"},
             {"{{list}}", "{{list}} is not {{ID.PATH}}"},
             {"{{.result}}", "{{.result}} is not {{ID.PATH}}"},
             {"{{list.}}", "{{list.}} is not {{ID.PATH}}"}}) {
        std::vector<ReplyReference> none;
        EXPECT_FALSE(FindReferences(line, &none, &error)) << line;
        EXPECT_EQ(error, message);
    }
}

}  // namespace
