#include "StdoutCapture.h"
#include "cli/ApplicationParser.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace quillet {
namespace {

constexpr char kTokenFile[] =
    "Error: token file does not exist, or file is not a token. Use \"Quillet -h\" for more help.\r\n";

// A folder with files whose names the token check looks at; "$" in a test word stands for its path.
class TokenFolder {
public:
    TokenFolder() {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        m_path = std::wstring(temp) + L"quillet-parser-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(m_path.c_str(), nullptr);
        for (const wchar_t* name : {L"app.tok", L"app.TOK", L"app.tok.bak", L"app.txt", L"a b.tok"}) {
            const HANDLE file = CreateFileW(File(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr);
            CloseHandle(file);
        }
        CreateDirectoryW(File(L"folder.tok").c_str(), nullptr);
    }
    ~TokenFolder() {
        for (const wchar_t* name : {L"app.tok", L"app.TOK", L"app.tok.bak", L"app.txt", L"a b.tok"}) {
            DeleteFileW(File(name).c_str());
        }
        RemoveDirectoryW(File(L"folder.tok").c_str());
        RemoveDirectoryW(m_path.c_str());
    }
    std::wstring File(const std::wstring& name) const { return m_path + L"\\" + name; }
    std::wstring Expand(const std::wstring& word) const {
        return !word.empty() && word[0] == L'$' ? File(word.substr(1)) : word;
    }

private:
    std::wstring m_path;
};

struct ParseResult {
    BOOL accepted = FALSE;
    std::string output;
};

ParseResult RunParse(SApplicationParser& parser, const std::vector<std::wstring>& words) {
    std::vector<const wchar_t*> args;
    for (const std::wstring& word : words) {
        args.push_back(word.c_str());
    }
    args.push_back(nullptr);
    ParseResult result;
    const testing::StdoutCapture capture;
    result.accepted = parser.Parse(static_cast<int>(words.size()), args.data());
    result.output = capture.Bytes();
    return result;
}

struct Expected {
    std::wstring tokenSource;
    std::wstring appGuid;
    std::wstring parameters;
    std::wstring executablePath;
    std::wstring workingDirectory;
    int32_t all = 0;
    int32_t isUrl = 0;
};

// What the accessors and flags give after each kind of command.
Expected Added(const std::wstring& source) {
    return {source, L"", L"", L"", L"", 0, 0};
}
Expected AddedUrl(const std::wstring& url) {
    return {url, L"", L"", L"", L"", 0, 1};
}
Expected ForGuid(const std::wstring& guid) {
    return {L"", guid, L"", L"", L"", 0, 0};
}
Expected ForAll() {
    return {L"", L"", L"", L"", L"", 1, 0};
}
Expected Started(const std::wstring& guid, const std::wstring& parameters) {
    return {L"", guid, parameters, L"", L"", 0, 0};
}
Expected RanCommand(const std::wstring& guid, const std::wstring& executable, const std::wstring& directory,
                    const std::wstring& parameters) {
    return {L"", guid, parameters, executable, directory, 0, 0};
}

struct AcceptedCase {
    const char* name;
    std::vector<std::wstring> words;
    uint32_t command;
    Expected expected;
};

class ApplicationParserTest : public ::testing::Test {
protected:
    TokenFolder m_folder;
};

TEST_F(ApplicationParserTest, AcceptsEachCommandAndHandsOverItsValues) {
    // clang-format off
    const AcceptedCase cases[] = {
        {"add token file", {L"add", L"$app.tok"}, CMD_APP_ADD, Added(L"$app.tok")},
        {"add path with a blank", {L"add", L"$a b.tok"}, CMD_APP_ADD, Added(L"$a b.tok")},
        {"add ignores one extra word", {L"ADD", L"$app.tok", L"extra"}, CMD_APP_ADD, Added(L"$app.tok")},
        {"add .tok inside the name", {L"add", L"$app.tok.bak"}, CMD_APP_ADD, Added(L"$app.tok.bak")},
        {"add http url", {L"add", L"http://host/t"}, CMD_APP_ADD, AddedUrl(L"http://host/t")},
        {"add https url", {L"add", L"https:x"}, CMD_APP_ADD, AddedUrl(L"https:x")},
        // A URL is never looked up as a file, so a missing one does not matter.
        {"add url naming no file", {L"add", L"http:C:\\nowhere"}, CMD_APP_ADD, AddedUrl(L"http:C:\\nowhere")},
        {"remove guid", {L"remove", L"{G}"}, CMD_APP_REMOVE, ForGuid(L"{G}")},
        {"remove all", {L"Remove", L"ALL"}, CMD_APP_REMOVE, ForAll()},
        {"stop all", {L"stop", L"All"}, CMD_APP_STOP, ForAll()},
        {"stop guid kept as typed", {L"STOP", L"not-a-guid"}, CMD_APP_STOP, ForGuid(L"not-a-guid")},
        {"start without parameters", {L"start", L"{G}"}, CMD_APP_START, ForGuid(L"{G}")},
        {"start quotes parameters", {L"start", L"{G}", L"x", L"y z"}, CMD_APP_START,
         Started(L"{G}", L"\"x\" \"y z\"")},
        {"start keeps quotes and backslashes", {L"start", L"{G}", L"a\"b\\", L""}, CMD_APP_START,
         Started(L"{G}", L"\"a\"b\\\" \"\"")},
        {"run-cmd executable only", {L"run-cmd", L"{G}", L"C:\\x.exe"}, CMD_APP_RUN_CMD,
         RanCommand(L"{G}", L"C:\\x.exe", L"", L"")},
        {"run-cmd working directory only", {L"run-cmd", L"{G}", L"x.exe", L"C:\\w"}, CMD_APP_RUN_CMD,
         RanCommand(L"{G}", L"x.exe", L"C:\\w", L"")},
        {"run-cmd empty working directory and a parameter", {L"RUN-CMD", L"{G}", L"x.exe", L"", L"p"},
         CMD_APP_RUN_CMD, RanCommand(L"{G}", L"x.exe", L"", L"\"p\"")},
        {"run-cmd several parameters", {L"run-cmd", L"{G}", L"", L"w", L"-a", L"b c"}, CMD_APP_RUN_CMD,
         RanCommand(L"{G}", L"", L"w", L"\"-a\" \"b c\"")},
        {"getIdList", {L"GETIDLIST"}, CMD_APP_GET_ID_LIST, Expected{}},
    };
    // clang-format on
    for (const AcceptedCase& test : cases) {
        SCOPED_TRACE(test.name);
        std::vector<std::wstring> words;
        for (const std::wstring& word : test.words) {
            words.push_back(m_folder.Expand(word));
        }
        SApplicationParser parser;
        const ParseResult result = RunParse(parser, words);
        EXPECT_TRUE(result.accepted);
        EXPECT_EQ(result.output, "");
        EXPECT_EQ(parser.m_command, test.command);
        EXPECT_EQ(parser.GetTokenSource(), m_folder.Expand(test.expected.tokenSource));
        EXPECT_EQ(parser.GetAppGuid(), test.expected.appGuid);
        EXPECT_EQ(parser.GetParameters(), test.expected.parameters);
        EXPECT_EQ(parser.GetExecutablePath(), test.expected.executablePath);
        EXPECT_EQ(parser.GetWorkingDirectory(), test.expected.workingDirectory);
        EXPECT_EQ(parser.m_all, test.expected.all);
        EXPECT_EQ(parser.m_isUrl, test.expected.isUrl);
    }
}

TEST_F(ApplicationParserTest, TokenCheckNeitherLocksOutWritersNorKeepsTheFileOpen) {
    const std::wstring path = m_folder.File(L"app.tok");
    // A writer that lets readers and writers in, but no one who deletes.
    const HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    SApplicationParser parser;
    EXPECT_TRUE(RunParse(parser, {L"add", path}).accepted);
    CloseHandle(writer);

    // Exclusive access succeeds only if the check closed its handle again, after refusals too.
    SApplicationParser refused;
    EXPECT_FALSE(RunParse(refused, {L"add", m_folder.File(L"app.tok.bak"), L"a", L"b"}).accepted);
    for (const wchar_t* name : {L"app.tok", L"app.txt"}) {
        SApplicationParser other;
        RunParse(other, {L"add", m_folder.File(name)});
        const HANDLE exclusive = CreateFileW(m_folder.File(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(exclusive, INVALID_HANDLE_VALUE);
        CloseHandle(exclusive);
    }
}

TEST_F(ApplicationParserTest, TokenFileThatOthersHoldExclusivelyIsRefused) {
    const std::wstring path = m_folder.File(L"app.tok");
    const HANDLE holder =
        CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    SApplicationParser parser;
    const ParseResult result = RunParse(parser, {L"add", path});
    CloseHandle(holder);
    EXPECT_FALSE(result.accepted);
    EXPECT_EQ(result.output, kTokenFile);
}

struct QuotedCase {
    const char* name;
    std::wstring before;
    std::vector<const wchar_t*> list;
    std::wstring after;
};

TEST(AppendQuotedArguments, SkipsTheLeadingWordAndAppendsTheRestQuoted) {
    const QuotedCase cases[] = {
        {"no list empties the target", L"old", {}, L""},
        {"the leading word alone empties the target", L"old", {L"cmd"}, L""},
        {"one argument", L"", {L"cmd", L"x"}, L"\"x\""},
        {"blank inside stays inside the quotes", L"", {L"cmd", L"x", L"y z"}, L"\"x\" \"y z\""},
        {"empty argument", L"", {L"cmd", L""}, L"\"\""},
        {"quotes and backslashes are copied", L"", {L"cmd", L"a\\\"b\\"}, L"\"a\\\"b\\\""},
        {"appends to what the target holds", L"pre", {L"cmd", L"x"}, L"pre\"x\""},
    };
    for (const QuotedCase& test : cases) {
        SCOPED_TRACE(test.name);
        std::vector<const wchar_t*> list = test.list;
        list.push_back(nullptr);
        std::wstring target = test.before;
        SApplicationParser::AppendQuotedArguments(target, static_cast<int>(test.list.size()), list.data());
        EXPECT_EQ(target, test.after);
    }
}

} // namespace
} // namespace quillet
