// Service answers that are not a success, turned into error codes, reasons and retry-afters; and
// the user message of each code.
#include <gtest/gtest.h>

#include "handlers/service/ServiceCall.h"
#include "panel/Failure.h"
#include "panel/Language.h"

namespace {

OvraApi::Error Parse(int status, const std::string& body, bool hadToken = true, int headerRetry = 0) {
    return ErrorFromResponse(HttpResponse{status, headerRetry, body}, hadToken);
}

TEST(ServiceErrors, A401WithATokenIsARevocationWhateverTheBody) {
    const auto e = Parse(401, R"({"error":"no_credits"})", true, 12);
    EXPECT_EQ(e.code, "revoked");
    EXPECT_EQ(e.reason, "");
    EXPECT_EQ(e.status, 401);
    EXPECT_EQ(e.retryAfter, 12);
    EXPECT_STREQ(e.what(), "revoked");
    EXPECT_EQ(Parse(401, R"({"error":"denied"})", false).code, "denied") << "without a token it is parsed";
    EXPECT_EQ(Parse(401, "", false).code, "internal");
}

TEST(ServiceErrors, StatusesGiveCodesOnlyWhenTheBodyGivesNone) {
    EXPECT_EQ(Parse(429, "<html>busy</html>").code, "limit_reached");
    EXPECT_EQ(Parse(429, R"({"error":{"code":"no_credits"}})").code, "no_credits");
    for (int status : {502, 503, 504}) EXPECT_EQ(Parse(status, "").code, "unavailable") << status;
    EXPECT_EQ(Parse(500, "").code, "internal");
    EXPECT_EQ(Parse(302, "<a href=x>moved</a>").code, "internal");
    EXPECT_EQ(Parse(503, R"({"error":"busy"})").code, "busy");
    EXPECT_EQ(Parse(404, R"({"error":"internal"})").code, "internal");
    EXPECT_EQ(Parse(429, R"({"error":"internal"})").code, "limit_reached") << "an explicit internal still maps";
}

TEST(ServiceErrors, OutdatedAndDisabledWinOverEveryOtherCode) {
    EXPECT_EQ(Parse(426, R"({"error":{"code":"no_credits","reason":"x"}})").code, "plugin_outdated");
    EXPECT_EQ(Parse(426, R"({"error":{"code":"no_credits","reason":"x"}})").reason, "x");
    EXPECT_EQ(Parse(400, R"({"error":{"code":"busy","reason":"plugin_outdated"}})").code, "plugin_outdated");
    const auto disabled = Parse(400, R"({"error":{"code":"busy","reason":"plugin_disabled"}})");
    EXPECT_EQ(disabled.code, "plugin_disabled");
    EXPECT_EQ(disabled.reason, "plugin_disabled");
}

TEST(ServiceErrors, RetryAfterIsCappedTruncatedAndTakenByPrecedence) {
    EXPECT_EQ(Parse(503, R"({"error":"busy","retry_after":30})").retryAfter, 30);
    EXPECT_EQ(Parse(503, R"({"error":"busy","retry_after":5000})").retryAfter, 3600);
    EXPECT_EQ(Parse(503, R"({"error":"busy","retry_after":2.9})").retryAfter, 2);
    EXPECT_EQ(Parse(503, R"({"retry_after":0})", true, 9).retryAfter, 9) << "0 or less is ignored";
    EXPECT_EQ(Parse(503, R"({"retry_after":-4})", true, 9).retryAfter, 9);
    EXPECT_EQ(Parse(503, R"({"retry_after":"40"})", true, 9).retryAfter, 9) << "a string is ignored";
    EXPECT_EQ(Parse(503, R"({"retry_after":1e300})").retryAfter, 3600);
    // Highest first: top-level retry_after, top-level retryAfter, error.retry_after,
    // error.retryAfter, the header.
    const char* all = R"({"error":{"retryAfter":4,"retry_after":3},"retryAfter":2,"retry_after":1})";
    EXPECT_EQ(Parse(503, all, true, 5).retryAfter, 1);
    EXPECT_EQ(Parse(503, R"({"error":{"retryAfter":4,"retry_after":3},"retryAfter":2})", true, 5).retryAfter, 2);
    EXPECT_EQ(Parse(503, R"({"error":{"retryAfter":4,"retry_after":3}})", true, 5).retryAfter, 3);
    EXPECT_EQ(Parse(503, R"({"error":{"retryAfter":4}})", true, 5).retryAfter, 4);
    EXPECT_EQ(Parse(503, R"({"error":"busy"})", true, 5).retryAfter, 5);
}

TEST(ServiceErrors, MembersOfTheWrongKindAreIgnored) {
    const auto e = Parse(400, R"({"error":{"code":7,"reason":["x"]}})");
    EXPECT_EQ(e.code, "internal");
    EXPECT_EQ(e.reason, "");
    EXPECT_EQ(Parse(400, R"({"error":42})").code, "internal");
    EXPECT_EQ(Parse(400, R"({"error":""})").code, "internal") << "an empty code names nothing";
    EXPECT_EQ(Parse(503, R"({"error":{"code":""}})").code, "unavailable");
    EXPECT_EQ(Parse(400, R"(["error","busy"])").code, "internal");
    EXPECT_EQ(Parse(400, R"({"error":"busy")").code, "internal") << "cut JSON";
    EXPECT_EQ(Parse(400, "\"busy\"").code, "internal");
    EXPECT_EQ(Parse(400, R"({"error":"generation_failed","reason":"top-level reasons are not read"})").reason, "");
}

TEST(ServiceErrors, CodesTheServiceAddsPassThroughWithTheGeneralMessage) {
    const auto e = Parse(400, R"({"error":{"code":"new_thing","reason":"why"}})");
    EXPECT_EQ(e.code, "new_thing");
    EXPECT_EQ(MakeFailure(e.code, e.reason, e.retryAfter).message, "Something went wrong. Try again.");
}

TEST(Messages, FollowTheUiLanguageWithEnglishForAnyOtherTag) {
    uiLanguage = u"pt-BR";
    EXPECT_EQ(ErrorMessage("cancelled"), "Nada foi salvo.");
    EXPECT_EQ(ErrorMessage("unavailable"), ErrorMessage("busy"));
    uiLanguage = u"es";
    EXPECT_EQ(ErrorMessage("cancelled"), "No se guard\xC3\xB3 nada.");
    EXPECT_EQ(ErrorMessage("view_unavailable"),
              "Esta vista guardada no se puede capturar desde aqu\xC3\xAD. \xC3\x81" "brela en Archicad y usa "
              "\xE2\x80\x9CVista actual\xE2\x80\x9D. No se cobr\xC3\xB3 nada.");
    uiLanguage = u"fr";
    EXPECT_EQ(ErrorMessage("cancelled"), "Nothing was saved.");
    EXPECT_EQ(ErrorMessage("Cancelled"), "Something went wrong. Try again.") << "codes compare exactly";
    EXPECT_EQ(ErrorMessage("cancelled "), "Something went wrong. Try again.");
    uiLanguage = u"en";
    EXPECT_EQ(ErrorMessage("internal"), "Something went wrong. Try again.");
    EXPECT_EQ(ErrorMessage("invalid_request"), "Something went wrong. Try again.");
}

TEST(Messages, AFailureCarriesTheMessageOfItsCodeAndNoNegativeRetry) {
    uiLanguage = u"en";
    const Failure f = MakeFailure("network", "dns", -3);
    EXPECT_EQ(f.code, "network");
    EXPECT_EQ(f.message, "No connection. Check your internet and try again.");
    EXPECT_EQ(f.reason, "dns");
    EXPECT_EQ(f.retryAfter, 0);
}

}  // namespace
