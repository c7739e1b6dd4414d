#include "EmulatorTest.h"

#include <functional>

namespace quillet::testing {
namespace {

// A query's reply, with the list count where the query has one.
struct Answer {
    HRESULT hr = E_FAIL;
    LONG count = -1;
    ReplyView view;
    bool nullArray = false;
    LONG scalar = 0;
};

struct Query {
    const char* method;
    size_t normalLength;
    size_t shortLength;
    bool hasCount;
    std::function<Answer(EmulatorTest&)> run;
};

Answer Take(HRESULT hr, const VARIANT& reply, LONG count = -1) {
    Answer answer;
    answer.hr = hr;
    answer.count = count;
    answer.view = ViewOf(reply);
    answer.nullArray = reply.vt == (VT_ARRAY | VT_VARIANT) && reply.parray == nullptr;
    answer.scalar = reply.vt == VT_I4 ? reply.lVal : 0;
    return answer;
}

class ReplyShapeTest : public EmulatorTest {
public:
    Answer List() {
        auto application = Application();
        UniqueVariant reply;
        LONG count = -1;
        HRESULT hr = application->GetApplicationList(-1, &count, reply.put());
        return Take(hr, reply, count);
    }
    Answer Properties(LONG mask) {
        auto application = Application();
        auto guid = Bstr(kAppA);
        UniqueVariant reply;
        HRESULT hr = application->GetApplicationProperties(guid.get(), mask, reply.put());
        return Take(hr, reply);
    }
    Answer Settings() {
        auto cache = Cache();
        UniqueVariant reply;
        HRESULT hr = cache->GetCacheLocation(0, reply.put());
        return Take(hr, reply);
    }
    Answer Info() {
        auto cache = Cache();
        auto guid = Bstr(kAppA);
        UniqueVariant reply;
        HRESULT hr = cache->GetMultiSourceFileInfo(guid.get(), reply.put());
        return Take(hr, reply);
    }
    Answer Ids() {
        auto cache = Cache();
        UniqueVariant reply;
        LONG count = -1;
        HRESULT hr = cache->GetMultiSourceFileIdList(VARIANT_FALSE, &count, reply.put());
        return Take(hr, reply, count);
    }

    std::string Setup(const char* method, const char* shape, int times) {
        return R"({"applications":[{"guid":")" + ToUtf8(kAppA) + R"(","name":"Alpha"},{"guid":")" +
               ToUtf8(kAppB) + R"("}],"multisource":[{"appGuid":")" + ToUtf8(kAppA) +
               R"(","sourcePath":"C:\\a","localPath":"C:\\b"},)" + R"({"appGuid":")" + ToUtf8(kAppB) +
               R"("}],"replies":[{"method":")" + method + R"(","shape":")" + shape + R"(","times":)" +
               std::to_string(times) + "}]}";
    }
};

const Query kQueries[] = {
    {"GetApplicationList", 2, 1, true,
     [](EmulatorTest& t) { return static_cast<ReplyShapeTest&>(t).List(); }},
    {"GetApplicationProperties", 40, 0, false,
     [](EmulatorTest& t) { return static_cast<ReplyShapeTest&>(t).Properties(1); }},
    {"GetCacheLocation", 6, 3, false,
     [](EmulatorTest& t) { return static_cast<ReplyShapeTest&>(t).Settings(); }},
    {"GetMultiSourceFileInfo", 7, 6, false,
     [](EmulatorTest& t) { return static_cast<ReplyShapeTest&>(t).Info(); }},
    {"GetMultiSourceFileIdList", 2, 1, true,
     [](EmulatorTest& t) { return static_cast<ReplyShapeTest&>(t).Ids(); }},
};

TEST_F(ReplyShapeTest, EveryShapeOnEveryQuery) {
    const char* shapes[] = {"empty",      "scalar",      "noArray",     "short",
                            "wrongTypes", "nullStrings", "lowerBound1", "countTooLarge"};
    for (const Query& query : kQueries) {
        for (const char* shape : shapes) {
            SCOPED_TRACE(std::string(query.method) + " " + shape);
            Scenario(Setup(query.method, shape, 1));
            Answer answer = query.run(*this);
            ASSERT_EQ(answer.hr, S_OK);
            const std::string name = shape;
            const LONG normalCount = static_cast<LONG>(query.normalLength);
            if (query.hasCount) {
                EXPECT_EQ(answer.count, name == "countTooLarge" ? normalCount + 1 : normalCount);
            }
            if (name == "empty") {
                EXPECT_EQ(answer.view.vt, VT_EMPTY);
            } else if (name == "scalar") {
                EXPECT_EQ(answer.view.vt, VT_I4);
                EXPECT_EQ(answer.scalar, 7);
            } else if (name == "noArray") {
                EXPECT_TRUE(answer.nullArray);
            } else {
                ASSERT_TRUE(answer.view.hasArray);
                size_t length = name == "short" ? query.shortLength : query.normalLength;
                EXPECT_EQ(answer.view.elements.size(), length);
                EXPECT_EQ(answer.view.lowerBound, name == "lowerBound1" ? 1 : 0);
                bool sawString = false;
                for (const Element& element : answer.view.elements) {
                    if (name == "wrongTypes") {
                        EXPECT_EQ(element.value.vt, VT_I4);
                        EXPECT_EQ(element.value.lVal, 7);
                    } else if (element.value.vt == VT_BSTR) {
                        sawString = true;
                        EXPECT_EQ(element.nullString, name == "nullStrings");
                    }
                }
                if (name == "nullStrings" && std::string(query.method) != "GetApplicationProperties") {
                    EXPECT_TRUE(sawString);
                }
            }
            // times 1: the next reply is well formed again.
            Answer next = query.run(*this);
            EXPECT_EQ(next.view.elements.size(), query.normalLength);
            EXPECT_EQ(next.view.lowerBound, 0);
        }
    }
}

TEST_F(ReplyShapeTest, ShortPropertiesLackTheElementTheMaskAsksFor) {
    const struct {
        LONG mask;
        size_t length;
    } cases[] = {{1, 0}, {2, 1}, {0x20000000, 39}};
    for (const auto& test : cases) {
        Scenario(Setup("GetApplicationProperties", "short", -1));
        EXPECT_EQ(Properties(test.mask).view.elements.size(), test.length) << test.mask;
    }
}

TEST_F(ReplyShapeTest, MalformedRepliesAreJournalled) {
    Scenario(Setup("GetCacheLocation", "lowerBound1", -1));
    Settings();
    bool found = false;
    for (const nlohmann::ordered_json& line : emulator::ReadJournal()) {
        if (line.contains("reply")) {
            EXPECT_EQ(line["reply"], "lowerBound1");
            found = true;
        }
    }
    EXPECT_TRUE(found);
}

} // namespace
} // namespace quillet::testing
