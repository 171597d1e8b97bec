// The real PelicorLaunch64.exe under Wine, started with exact command lines, with the stand-in
// target recording what it received.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <vector>

#include "tests/e2e/launcher_fixture.h"

namespace pelicor::testing {
namespace {

TEST_F(LauncherTest, PassesTheTargetsExitCodeThroughWhole) {
    for (const wchar_t* code : {L"3", L"0", L"0xC0000005", L"0xFFFFFFFF"}) {
        ScopedEnv exitCode(L"PELICOR_TEST_EXIT_CODE", code);
        EXPECT_EQ(Launch(Quoted(Target())), std::wcstoul(code, nullptr, 0)) << code;
    }
}

TEST_F(LauncherTest, NamesNoTargetEndsWithEightAndStartsNothing) {
    for (const wchar_t* tail : {L"\"\"", L"\"\" x.exe"}) {
        EXPECT_EQ(Launch(tail), 8u) << tail;
    }
    EXPECT_TRUE(Record().empty());
}

TEST_F(LauncherTest, EmptyCommandLineStartsNothing) {
    EXPECT_EQ(RunProcess(Launcher(), Quoted(Launcher())), 0u);
    EXPECT_EQ(RunProcess(Launcher(), Quoted(Launcher()) + L"   "), 0u);
    EXPECT_TRUE(Record().empty());
}

TEST_F(LauncherTest, MissingTargetEndsWithZero) {
    EXPECT_EQ(Launch(Quoted(m_dir.File(L"missing.exe")) + L" a"), 0u);
}

TEST_F(LauncherTest, ExpandsDefinedVariablesAndKeepsUndefinedOnes) {
    ScopedEnv folder(L"PELICOR_E2E_BIN", BinDir());
    ScopedEnv value(L"PELICOR_E2E_VALUE", L"expanded");
    EXPECT_EQ(Launch(L"\"%PELICOR_E2E_BIN%\\record_target.exe\" %PELICOR_E2E_VALUE% %PELICOR_E2E_UNDEFINED%"),
              0u);
    EXPECT_EQ(TargetArgv(), (std::vector<std::wstring>{Target(), L"expanded", L"%PELICOR_E2E_UNDEFINED%"}));
}

TEST_F(LauncherTest, RelativeTargetStartsThroughTheSystemSearch) {
    // The target lies only in the launcher's current directory, not beside the launcher.
    TempDir elsewhere(L"relative");
    ASSERT_TRUE(CopyFileW(Target().c_str(), elsewhere.File(L"relative_target.exe").c_str(), FALSE));
    RunOptions options;
    options.directory = elsewhere.Path();
    ScopedEnv exitCode(L"PELICOR_TEST_EXIT_CODE", L"5");
    EXPECT_EQ(Launch(L"relative_target.exe one", options), 5u);
    EXPECT_EQ(Record().at(L"commandLine"), L"relative_target.exe one");
}

TEST_F(LauncherTest, CollapsesDoubledBackslashesInTheProgramOnly) {
    std::wstring doubled = Target();
    for (std::size_t pos = 0; (pos = doubled.find(L'\\', pos)) != std::wstring::npos; pos += 2) {
        doubled.insert(pos, 1, L'\\');
    }
    EXPECT_EQ(Launch(Quoted(doubled) + L" C:\\\\data\\\\x"), 0u);
    EXPECT_EQ(Record().at(L"commandLine"), Quoted(Target()) + L" C:\\\\data\\\\x");
}

TEST_F(LauncherTest, LongArgumentArrivesWhole) {
    const std::wstring argument(1500, L'z');
    EXPECT_EQ(Launch(Quoted(Target()) + L" " + argument + L" end"), 0u);
    EXPECT_EQ(TargetArgv(), (std::vector<std::wstring>{Target(), argument, L"end"}));
}

TEST_F(LauncherTest, TargetGetsTheLaunchersDirectoryStartupInformationAndHandles) {
    // An inheritable handle the target can only write through if it came down the chain.
    SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
    HANDLE file = CreateFileW(m_dir.File(L"inherited.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                              &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ScopedEnv handle(L"PELICOR_TEST_HANDLE", std::to_wstring(reinterpret_cast<UINT_PTR>(file)));
    TempDir working(L"working dir");
    RunOptions options;
    options.directory = working.Path();
    options.inheritHandles = true;
    options.showWindow = SW_SHOWMINNOACTIVE;
    options.title = L"The launcher's own title";

    EXPECT_EQ(Launch(Quoted(Target()), options), 0u);
    CloseHandle(file);

    const auto record = Record();
    EXPECT_EQ(record.at(L"directory"), working.Path());
    EXPECT_EQ(record.at(L"startupShow"), std::to_wstring(SW_SHOWMINNOACTIVE));
    // The title (a shortcut's path, when the shell started the launcher from one) is the
    // launcher's own; the target gets the system's default instead.
    EXPECT_NE(record.at(L"title"), options.title);
    EXPECT_EQ(ReadBytes(m_dir.File(L"inherited.txt")), "inherited");
}

TEST_F(LauncherTest, StartedFromAShortcutTheTargetGetsItsShowStateAndFolderButNoTitleFlags) {
    // What the shell passes when it starts a shortcut: the title names the shortcut (or carries
    // an application id), with the flags that say so, the shortcut's show state and Start-in.
    const struct {
        DWORD flags;
        const wchar_t* title;
    } starts[] = {{STARTF_TITLEISLINKNAME, L"C:\\Users\\Public\\Desktop\\Target.lnk"},
                  {STARTF_TITLEISAPPID | STARTF_PREVENTPINNING, L"Norvex.Pelicor.Target"}};
    TempDir startIn(L"Start in");
    // Programs load plug-ins from the folder they are started in: that still works for the target.
    ASSERT_TRUE(CopyFileW(PlantedDll().c_str(), startIn.File(L"plugin.dll").c_str(), FALSE));
    ScopedEnv plugin(L"PELICOR_TEST_LOAD_LIBRARY", L"plugin.dll");
    ScopedEnv pluginRecord(L"PELICOR_PLANTED_RECORD", m_dir.File(L"plugin.txt"));
    for (const auto& start : starts) {
        DeleteFileW(RecordPath().c_str());
        DeleteFileW(m_dir.File(L"plugin.txt").c_str());
        RunOptions options;
        options.startupFlags = start.flags;
        options.title = start.title;
        options.showWindow = SW_SHOWMINNOACTIVE;
        options.directory = startIn.Path();

        EXPECT_EQ(Launch(Quoted(Target()), options), 0u) << start.title;

        const auto record = Record();
        const DWORD flags = std::wcstoul(record.at(L"startupFlags").c_str(), nullptr, 10);
        EXPECT_EQ(flags & (STARTF_TITLEISLINKNAME | STARTF_TITLEISAPPID | STARTF_PREVENTPINNING), 0u)
            << flags;
        EXPECT_EQ(flags & STARTF_USESHOWWINDOW, static_cast<DWORD>(STARTF_USESHOWWINDOW));
        EXPECT_EQ(record.at(L"startupShow"), std::to_wstring(SW_SHOWMINNOACTIVE));
        EXPECT_NE(record.at(L"title"), start.title);
        EXPECT_EQ(record.at(L"directory"), startIn.Path());
        EXPECT_EQ(ReadText(m_dir.File(L"plugin.txt")), Target() + L"|" + startIn.File(L"plugin.dll") + L"\n");
    }
}

TEST_F(LauncherTest, TheTargetNeverGetsTheLaunchersReservedStartupText) {
    // CreateProcessW wants lpReserved null; the launcher's own start-up information may carry
    // text there (the shell passes its own), which must not reach the target.
    RunOptions options;
    options.reserved = L"pelicor-reserved";
    EXPECT_EQ(RunProcess(Target(), Quoted(Target()), options), 0u);
    if (Record()[L"reserved"] != options.reserved) {
        GTEST_SKIP() << "this platform hands a child no reserved start-up text (a probe given some reports '"
                     << testing::Narrow(Record()[L"reserved"])
                     << "'), so the launcher's cannot be told apart";
    }
    DeleteFileW(RecordPath().c_str());
    EXPECT_EQ(Launch(Quoted(Target()), options), 0u);
    EXPECT_EQ(Record()[L"reserved"], L"");
}

// The token's elevation type: full (elevated), limited (an administrator's filtered token) or
// default (no split token, UAC off or a standard user).
TOKEN_ELEVATION_TYPE ElevationType() {
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    HANDLE token = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        DWORD size = 0;
        GetTokenInformation(token, TokenElevationType, &type, sizeof(type), &size);
        CloseHandle(token);
    }
    return type;
}

// True when Windows elevates an administrator without asking ("Elevate without prompting").
bool ElevatesWithoutPrompt() {
    DWORD behaviour = 1, size = sizeof(behaviour);
    return RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System",
                        L"ConsentPromptBehaviorAdmin", RRF_RT_REG_DWORD, nullptr, &behaviour,
                        &size) == ERROR_SUCCESS &&
           behaviour == 0;
}

TEST_F(LauncherTest, TargetThatRequiresAdministratorIsStartedElevatedThroughTheShellAndWaitedFor) {
    if (RunningUnderWine()) {
        GTEST_SKIP()
            << "Wine never answers ERROR_ELEVATION_REQUIRED; StartTargetTest reaches the shell start "
               "through its seam";
    }
    if (ElevationType() != TokenElevationTypeLimited) {
        GTEST_SKIP() << "the runner is elevated or has no split token, so the target starts directly";
    }
    if (!ElevatesWithoutPrompt()) {
        GTEST_SKIP() << "elevation would ask the user here; run as an administrator with prompts for "
                        "administrators turned off to check it";
    }
    const std::wstring target = BinDir() + L"\\admin_target.exe";
    const std::wstring record = m_dir.File(L"admin.txt");

    EXPECT_EQ(Launch(Quoted(target) + L" " + Quoted(record) + L" 6 \"two words\""), 6u);

    auto recorded = ReadRecord(record);
    EXPECT_EQ(recorded[L"elevated"], L"1");
    EXPECT_NE(recorded[L"commandLine"].find(L"\"two words\""), std::wstring::npos)
        << recorded[L"commandLine"];
}

TEST_F(LauncherTest, LauncherInAFolderWithBlanksHandsTheTargetTheRightLine) {
    TempDir installed(L"Program Files With Blanks");
    const std::wstring copy = installed.File(L"PelicorLaunch64.exe");
    ASSERT_TRUE(CopyFileW(Launcher().c_str(), copy.c_str(), FALSE));
    EXPECT_EQ(RunProcess(copy, Quoted(copy) + L"  " + Quoted(Target()) + L" \"x y\" z"), 0u);
    EXPECT_EQ(Record().at(L"commandLine"), Quoted(Target()) + L" \"x y\" z");
}

}  // namespace
}  // namespace pelicor::testing

namespace pelicor::testing {
namespace {

// Resources of the built executable, read as data.
class LauncherResources : public ::testing::Test {
protected:
    void SetUp() override {
        m_module = LoadLibraryExW((BinDir() + L"\\PelicorLaunch64.exe").c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(m_module, nullptr);
    }
    void TearDown() override { FreeLibrary(m_module); }

    std::string Resource(LPCWSTR type, LPCWSTR name) const {
        HRSRC found = FindResourceW(m_module, name, type);
        if (found == nullptr) return std::string();
        const char* data = static_cast<const char*>(LockResource(LoadResource(m_module, found)));
        return std::string(data, SizeofResource(m_module, found));
    }

    HMODULE m_module = nullptr;
};

TEST_F(LauncherResources, ManifestAsksForTheCallersRightsOnly) {
    const std::string manifest = Resource(RT_MANIFEST, MAKEINTRESOURCEW(1));
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos) << manifest;
    EXPECT_NE(manifest.find("uiAccess=\"false\""), std::string::npos) << manifest;
}

TEST_F(LauncherResources, CarriesOneIconGroupWithTwoImagesAndAVersionRecord) {
    const std::string group = Resource(RT_GROUP_ICON, MAKEINTRESOURCEW(1));
    ASSERT_GE(group.size(), 6u);
    EXPECT_EQ(static_cast<unsigned char>(group[4]), 2u);  // idCount of the group header
    EXPECT_FALSE(Resource(RT_VERSION, MAKEINTRESOURCEW(VS_VERSION_INFO)).empty());
}

}  // namespace
}  // namespace pelicor::testing
