#include "AppsFixture.h"
#include "Files.h"
#include "LoopbackHttpServer.h"

namespace quillet::testing {
namespace {

constexpr char kIncorrectNumber[] = "Error: incorrect number of arguments. Use \"Quillet -h\" for help.\r\n";
constexpr char kInvalidArguments[] =
    "Error: invalid arguments entered. Use \"Quillet -h\" for more help.\r\n";
constexpr char kTokenFile[] =
    "Error: token file does not exist, or file is not a token. Use \"Quillet -h\" for more help.\r\n";

// Token files in a folder of the test's own; "$" at the start of a word stands for the folder.
class TokenFiles {
public:
    TokenFiles() {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        m_folder = std::wstring(temp) + L"quillet-apps-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(m_folder.c_str(), nullptr);
        CreateDirectoryW(Path(L"folder.tok").c_str(), nullptr);
        for (const wchar_t* name : kNames) {
            WriteBytes(Path(name), R"({"name":"Backup","guid":")" + ToUtf8(kGamma) + "\"}");
        }
    }
    ~TokenFiles() {
        for (const wchar_t* name : kNames) {
            DeleteFileW(Path(name).c_str());
        }
        RemoveDirectoryW(Path(L"folder.tok").c_str());
        RemoveDirectoryW(m_folder.c_str());
    }
    std::wstring Path(std::wstring_view name) const { return m_folder + L"\\" + std::wstring(name); }
    std::wstring Expand(const std::wstring& word) const {
        return word.starts_with(L"$") ? Path(word.substr(1)) : word;
    }

private:
    static constexpr const wchar_t* kNames[] = {L"app.tok.bak", L"app.TOK", L"app.txt"};
    std::wstring m_folder;
};

struct WrongInput {
    const char* name;
    std::vector<std::wstring> args;
    const char* message;
};

class WrongApplicationInput : public AppsTest, public ::testing::WithParamInterface<WrongInput> {
protected:
    TokenFiles m_tokens;
};

// A wrong command line prints its one message and exits with E_INVALIDARG before any service call.
TEST_P(WrongApplicationInput, PrintsItsMessageAndCallsNoService) {
    std::vector<std::wstring> args{L"application"};
    for (const std::wstring& word : GetParam().args) {
        args.push_back(m_tokens.Expand(word));
    }
    const RunResult result = Quillet(args);
    EXPECT_EQ(result.output, GetParam().message);
    EXPECT_EQ(result.exitCode, kInvalidArgument);
    EXPECT_EQ(Journal().size(), 0u);
}

const WrongInput kWrongInputs[] = {
    {"NoCommandWord", {}, kIncorrectNumber},
    {"EmptyCommandWord", {L""}, kInvalidArguments},
    {"UnknownCommand", {L"list"}, kInvalidArguments},
    // Command words match without regard to ASCII case only.
    {"CommandWithANonAsciiCapital", {L"st\u00D6p", L"x"}, kInvalidArguments},
    {"CommandPrefix", {L"star", L"{A}"}, kInvalidArguments},
    {"AddWithoutSource", {L"add"}, kIncorrectNumber},
    {"AddWithThreeParameters", {L"add", L"$app.tok.bak", L"a", L"b"}, kIncorrectNumber},
    {"AddMissingFile", {L"add", L"$missing.tok"}, kTokenFile},
    {"AddFileWithoutTokInItsName", {L"add", L"$app.txt"}, kTokenFile},
    {"AddTokInCapitals", {L"add", L"$app.TOK"}, kTokenFile},
    {"AddFolder", {L"add", L"$folder.tok"}, kTokenFile},
    {"AddEmptySource", {L"add", L""}, kTokenFile},
    // The URL prefixes are case-sensitive: this is a path, and no such file exists.
    {"AddHttpInCapitals", {L"add", L"HTTP://127.0.0.1/app.tok"}, kTokenFile},
    {"RemoveWithoutGuid", {L"remove"}, kIncorrectNumber},
    {"RemoveTwoGuids", {L"remove", L"{A}", L"{B}"}, kIncorrectNumber},
    {"StopWithoutGuid", {L"stop"}, kIncorrectNumber},
    {"StopAllAndAGuid", {L"stop", L"all", L"{B}"}, kIncorrectNumber},
    {"StartWithoutGuid", {L"start"}, kIncorrectNumber},
    {"RunCmdWithoutGuid", {L"run-cmd"}, kIncorrectNumber},
    {"RunCmdWithoutExecutable", {L"run-cmd", L"{A}"}, kIncorrectNumber},
    {"GetIdListWithAWord", {L"getIdList", L"all"}, kIncorrectNumber},
    {"GetIdListWithAnEmptyWord", {L"getIdList", L""}, kIncorrectNumber},
};

INSTANTIATE_TEST_SUITE_P(Application, WrongApplicationInput, ::testing::ValuesIn(kWrongInputs),
                         [](const auto& instance) { return std::string(instance.param.name); });

struct QuotedCase {
    const char* name;
    std::vector<std::wstring> args;
    const char* method;
    std::string expectedArgs; // the call's arguments, as the journal has them
};

class QuotedParameters : public AppsTest, public ::testing::WithParamInterface<QuotedCase> {};

// Launch and command parameters reach the service quoted one by one, their own quotes and backslashes
// untouched; the guid, path and working directory go as typed.
TEST_P(QuotedParameters, ReachTheServiceQuoted) {
    Scenario().Client(4).App(kAlpha, L"Alpha", 64).Write();
    std::vector<std::wstring> args{L"application"};
    args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
    const RunResult result = Quillet(args);
    EXPECT_EQ(result.exitCode, 0u) << result.output;
    const std::vector<nlohmann::ordered_json> calls = ArgumentsOf(Journal(), GetParam().method);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].dump(), GetParam().expectedArgs);
}

const std::string kAlphaJson = "\"" + ToUtf8(kAlpha) + "\"";

const QuotedCase kQuotedCases[] = {
    {"StartWithParameters",
     {L"start", kAlpha, L"-x", L"a b"},
     "StartApplicationWithParameters",
     "[" + kAlphaJson + R"(,"\"-x\" \"a b\"",""])"},
    {"StartWithQuoteBackslashAndEmptyParameter",
     {L"start", kAlpha, L"say \"hi\"", L"C:\\dir\\", L""},
     "StartApplicationWithParameters",
     "[" + kAlphaJson + R"(,"\"say \"hi\"\" \"C:\\dir\\\" \"\"",""])"},
    {"StartWithoutParameters", {L"start", kAlpha}, "StartApplication", "[" + kAlphaJson + "]"},
    {"RunCmdWithParameters",
     {L"run-cmd", kAlpha, L"C:\\app\\tool.exe", L"C:\\work dir", L"p", L"q r"},
     "RunApplicationCommand",
     "[" + kAlphaJson + R"(,"C:\\app\\tool.exe","C:\\work dir","\"p\" \"q r\"","",""])"},
    {"RunCmdWithEmptyWorkingDirectory",
     {L"run-cmd", kAlpha, L"tool.exe", L"", L"p"},
     "RunApplicationCommand",
     "[" + kAlphaJson + R"(,"tool.exe","","\"p\"","",""])"},
    {"RunCmdWithExecutableOnly",
     {L"run-cmd", kAlpha, L"tool.exe"},
     "RunApplicationCommand",
     "[" + kAlphaJson + R"(,"tool.exe","","","",""])"},
};

INSTANTIATE_TEST_SUITE_P(Application, QuotedParameters, ::testing::ValuesIn(kQuotedCases),
                         [](const auto& instance) { return std::string(instance.param.name); });

class TokenSource : public AppsTest {
protected:
    TokenFiles m_tokens;
};

// ".tok" anywhere in the path is enough; the file's name need not end with it.
TEST_F(TokenSource, FileWithTokInsideItsNameIsAdded) {
    Scenario().Client(4).Write();
    const std::wstring path = m_tokens.Path(L"app.tok.bak");
    const RunResult result = Quillet({L"application", L"add", path});
    EXPECT_EQ(result.output,
              Crlf("Adding application... Success.\nAppName: [Backup]\nAppGuid: [" + ToUtf8(kGamma) + "]\n"));
    EXPECT_EQ(result.exitCode, 0u);
    const std::vector<nlohmann::ordered_json> adds = ArgumentsOf(Journal(), "AddApplication");
    ASSERT_EQ(adds.size(), 1u);
    EXPECT_EQ(adds[0].dump(), "[" + nlohmann::ordered_json(ToUtf8(path)).dump() + ",0]");
}

// A token request URL goes to the service as it is, flagged as a URL; no file is looked for.
TEST_F(TokenSource, UrlIsHandedToTheServiceWithoutFileCheck) {
    Scenario().Client(4).Write();
    LoopbackHttpServer server(200, R"({"name":"Served","guid":")" + ToUtf8(kBeta) + "\"}");
    const std::wstring url = server.Url(L"/no/such/file.txt");
    const RunResult result = Quillet({L"application", L"add", url});
    EXPECT_EQ(result.output,
              Crlf("Adding application... Success.\nAppName: [Served]\nAppGuid: [" + ToUtf8(kBeta) + "]\n"));
    EXPECT_EQ(result.exitCode, 0u);
    const std::vector<nlohmann::ordered_json> adds = ArgumentsOf(Journal(), "AddApplication");
    ASSERT_EQ(adds.size(), 1u);
    EXPECT_EQ(adds[0].dump(), "[" + nlohmann::ordered_json(ToUtf8(url)).dump() + ",-1]");
    EXPECT_EQ(server.LastRequestLine(), "GET /no/such/file.txt HTTP/1.1");
}

} // namespace
} // namespace quillet::testing
