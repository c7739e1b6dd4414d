// cache multisource add, delete, getInfo and getIdList: the printed answer ("Success." ends add and
// delete without a line end), the service's result as exit code, and Uninitialize after every call.
#include "CommandTest.h"

namespace quillet::testing {
namespace {

std::string RequestSteps(const char* call) {
    return std::string("+ Initialize ") + call + " Uninitialize -";
}

// An entry of state.json; the paths need not exist for anything but add.
std::string Entry(std::wstring_view guid, std::wstring_view source, std::wstring_view local,
                  const char* more = "") {
    return R"({"appGuid": )" + JsonString(guid) + R"(, "sourcePath": )" + JsonString(source) +
           R"(, "localPath": )" + JsonString(local) + more + "}";
}

std::string ScenarioWith(const std::string& entries, const std::wstring& cacheFolder = L"C:\\windows",
                         const char* replies = "[]") {
    return R"({"applications": [{"guid": )" + JsonString(kAppA) + R"(}, {"guid": )" + JsonString(kAppB) +
           R"(}], "cache": {"location": )" + JsonString(cacheFolder) + R"(}, "multisource": [)" + entries +
           R"(], "replies": )" + replies + "}";
}

enum class Destination { Folder, Source, Blank };

struct AddCase {
    const char* name;
    Destination destination;
    const wchar_t* overwrite;
    bool entryExists;
    const char* output;
    DWORD exitCode;
};

class MultisourceAddTest : public CommandTest, public ::testing::WithParamInterface<AddCase> {};

// payload.stc goes to Destination, stays where it is, or goes into the cache folder.
TEST_P(MultisourceAddTest, Adds) {
    const AddCase& c = GetParam();
    const std::wstring source = MakeFile(L"payload.stc", "0123456789");
    const std::wstring cache = MakeFolder(L"Cache");
    const std::wstring folder = MakeFolder(L"Destination");
    const std::wstring destination = c.destination == Destination::Folder   ? folder
                                     : c.destination == Destination::Source ? source
                                                                            : L" ";
    const std::wstring local = c.destination == Destination::Folder   ? folder + L"\\payload.stc"
                               : c.destination == Destination::Source ? source
                                                                      : cache + L"\\payload.stc";
    Scenario(ScenarioWith(c.entryExists ? Entry(kAppA, source, source) : "", cache));

    const RunResult result =
        Run({L"cache", L"multisource", L"add",
             std::wstring(kAppA) + L"|" + source + L"|" + destination + L"|" + c.overwrite});
    EXPECT_EQ(result.output, c.output);
    EXPECT_EQ(result.exitCode, c.exitCode);
    EXPECT_EQ(Steps("IStreamingCache"), RequestSteps("AddMultiSourceFile"));
    const std::string stored = State().at("multisource").at(0).dump();
    const bool added = c.exitCode == 0;
    EXPECT_NE(stored.find("\"localPath\":" + JsonString(added ? local : source)), std::string::npos)
        << stored;
    EXPECT_EQ(GetFileAttributesW(local.c_str()) != INVALID_FILE_ATTRIBUTES, added || local == source);
}

constexpr char kAdded[] = "Adding multisource file...Success.";

INSTANTIATE_TEST_SUITE_P(
    Multisource, MultisourceAddTest,
    ::testing::Values(AddCase{"CopyIntoAFolder", Destination::Folder, L"FALSE", false, kAdded, 0},
                      AddCase{"InPlace", Destination::Source, L"FALSE", false, kAdded, 0},
                      AddCase{"EmptyDestinationMeansTheCache", Destination::Blank, L"FALSE", false, kAdded,
                              0},
                      AddCase{"OverwriteRefused", Destination::Folder, L"FALSE", true,
                              "Adding multisource file...Failed.\r\n", 0x800700B7},
                      AddCase{"OverwriteAllowed", Destination::Folder, L"true", true, kAdded, 0}),
    RowName<AddCase>);

struct RequestCase {
    const char* name;
    std::string scenario;
    std::vector<std::wstring> args;
    const char* output;
    DWORD exitCode;
    const char* call;
};

class MultisourceRequestTest : public CommandTest, public ::testing::WithParamInterface<RequestCase> {};

TEST_P(MultisourceRequestTest, Runs) {
    const RequestCase& c = GetParam();
    Scenario(c.scenario);
    std::vector<std::wstring> args = {L"cache", L"multisource"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const RunResult result = Run(args);
    EXPECT_EQ(result.output, c.output);
    EXPECT_EQ(result.exitCode, c.exitCode);
    EXPECT_EQ(Steps("IStreamingCache"), RequestSteps(c.call));
}

const std::string kTwoEntries =
    Entry(kAppA, L"a", L"a") + "," + Entry(kAppB, L"b", L"b", R"(, "finished": false)");
constexpr char kTwoListed[] = "Getting multisource file id list...Success.\r\nMultiSourceFileIdList: \r\n"
                              "1 - {0A0A0A0A-0000-4000-8000-00000000000A}\r\n"
                              "2 - {0B0B0B0B-0000-4000-8000-00000000000B}\r\n";

INSTANTIATE_TEST_SUITE_P(
    Multisource, MultisourceRequestTest,
    ::testing::Values(
        RequestCase{"Delete",
                    ScenarioWith(Entry(kAppA, L"S", L"S")),
                    {L"delete", kAppA},
                    "Deleting multisource file...Success.",
                    0,
                    "DeleteMultiSourceFile"},
        RequestCase{"DeleteRefused",
                    ScenarioWith(""),
                    {L"delete", kAppA},
                    "Deleting multisource file...Failed.\r\n",
                    0x80070490,
                    "DeleteMultiSourceFile"},
        // 5 January 2024, 09:03:07 as an OLE automation date; 0 is the first day of that calendar.
        RequestCase{"GetInfo",
                    ScenarioWith(Entry(kAppA, L"\\\\server\\share\\p.stc", L"C:\\Cache\\p.stc",
                                       R"(, "size": 5000000000, "maxSize": 6000000000, "startTime": 0,
                                          "finishTime": 45296.377164351851)")),
                    {L"getInfo", kAppA},
                    "Getting multisource file info...Success.\r\nMultiSourceFileInfo: \r\n"
                    "Application GUID - {0A0A0A0A-0000-4000-8000-00000000000A}\r\n"
                    "Source Path - \\\\server\\share\\p.stc\r\nLocal Path - C:\\Cache\\p.stc\r\n"
                    "Size - 5000000000\r\nMax Size - 6000000000\r\n"
                    "Start Time - 12/30/1899 00:00:00 \r\nFinish Time - 01/05/2024 09:03:07 \r\n",
                    0,
                    "GetMultiSourceFileInfo"},
        // The lines before the element that a short reply lacks stay, and Uninitialize still follows.
        RequestCase{"GetInfoOfAShortReply",
                    ScenarioWith(Entry(kAppA, L"S", L"L"), L"C:\\windows",
                                 R"([{"method": "GetMultiSourceFileInfo", "shape": "short"}])"),
                    {L"getInfo", kAppA},
                    "Getting multisource file info...Success.\r\nMultiSourceFileInfo: \r\n"
                    "Application GUID - {0A0A0A0A-0000-4000-8000-00000000000A}\r\nSource Path - S\r\n"
                    "Local Path - L\r\nSize - 0\r\nMax Size - 0\r\nStart Time - 12/30/1899 00:00:00 \r\n"
                    "Error: unexpected failure 0x8002000B.\r\n",
                    0x8002000B,
                    "GetMultiSourceFileInfo"},
        RequestCase{"GetInfoRefused",
                    ScenarioWith(""),
                    {L"getInfo", kAppA},
                    "Getting multisource file info...Failed.\r\n",
                    0x80070490,
                    "GetMultiSourceFileInfo"},
        RequestCase{"GetIdListOfTwo",
                    ScenarioWith(kTwoEntries),
                    {L"getIdList"},
                    kTwoListed,
                    0,
                    "GetMultiSourceFileIdList"},
        RequestCase{"GetIdListOfNone",
                    ScenarioWith(""),
                    {L"getIdList", L"TRUE"},
                    "Getting multisource file id list...Success.\r\nMultiSourceFileIdList: \r\n",
                    0,
                    "GetMultiSourceFileIdList"},
        RequestCase{"GetIdListWithoutDimensions",
                    ScenarioWith(kTwoEntries, L"C:\\windows",
                                 R"([{"method": "GetMultiSourceFileIdList", "shape": "noArray"}])"),
                    {L"getIdList"},
                    "Getting multisource file id list...Success.\r\nMultiSourceFileIdList: \r\nEmtpy\r\n",
                    0,
                    "GetMultiSourceFileIdList"},
        RequestCase{"GetIdListFromLowerBoundOne",
                    ScenarioWith(kTwoEntries, L"C:\\windows",
                                 R"([{"method": "GetMultiSourceFileIdList", "shape": "lowerBound1"}])"),
                    {L"getIdList"},
                    kTwoListed,
                    0,
                    "GetMultiSourceFileIdList"}),
    RowName<RequestCase>);

} // namespace
} // namespace quillet::testing
