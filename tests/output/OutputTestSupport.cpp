// What the output suites share.
#include "output/OutputTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "store/FileStore.h"

const ScriptedPage::Message* RunUntilReply(Harness& h, const std::string& id, int turns) {
    for (int i = 0; i < turns; ++i) {
        if (!h.page().RepliesTo(id).empty()) break;
        h.host().Turn();
        // A worker thread may be fetching; give it real time too.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return h.OnlyReplyTo(id);
}

std::string LogText(const Harness& h) { return ReadFileText(h.folders().dataFolder() / "host.log"); }

std::string StoreResult(const std::string& bytes) {
    const std::string ref = NewFileRef("res");
    EXPECT_TRUE(StoreBytes(ref, bytes));
    return ref;
}

std::string ErrorReason(const ScriptedPage::Message& reply) {
    const rapidjson::Value& d = *reply.document;
    if (!d.HasMember("error") || !d["error"].HasMember("reason") || !d["error"]["reason"].IsString()) return "";
    return d["error"]["reason"].GetString();
}

std::string ResultString(const ScriptedPage::Message& reply, const char* member) {
    const rapidjson::Value& d = *reply.document;
    if (!d.HasMember("result") || !d["result"].IsObject() || !d["result"].HasMember(member) ||
        !d["result"][member].IsString())
        return "";
    return d["result"][member].GetString();
}
