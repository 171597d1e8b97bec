// The real launcher against the stand-in reactivation service and deactivation tool.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/e2e/launcher_fixture.h"

namespace pelicor::testing {
namespace {

using Names = std::vector<std::wstring>;

class ReactivationTest : public LauncherTest {
protected:
    std::wstring ToolRecordPath() const { return m_dir.File(L"tool.txt"); }
    ScopedEnv m_toolRecord{L"PELICOR_TOOL_RECORD", ToolRecordPath()};
    ScopedEnv m_exitCode{L"PELICOR_TEST_EXIT_CODE", L"7"};
};

TEST_F(ReactivationTest, SilentServiceWithoutToolEndsWithTenAndStartsNothing) {
    const struct {
        const wchar_t* variable;
        Names events;
    } silences[] = {{L"PELICOR_SERVICE_REFUSE", {L"refused"}},
                    {L"PELICOR_SERVICE_FAIL_QUERY", {L"create", L"QueryProgram", L"destroy"}}};
    const std::wstring launcher = Install(false);
    for (const auto& silence : silences) {
        DeleteFileW(m_dir.File(L"service.txt").c_str());
        ScopedEnv silent(silence.variable, L"1");
        int dismissed = 0;
        EXPECT_EQ(LaunchDismissingMessages(launcher, Quoted(Target()), dismissed), 10u) << silence.variable;
        EXPECT_EQ(dismissed, 1) << "the shell's message that the tool is missing";
        EXPECT_EQ(ServiceEventNames(), silence.events) << "asked once, no tool, not asked again";
    }
    EXPECT_TRUE(Record().empty());
}

TEST_F(ReactivationTest, ServiceStillSilentAfterToolEndsWithElevenAndAsksExactlyTwice) {
    ScopedEnv refuse(L"PELICOR_SERVICE_REFUSE", L"1");
    const std::wstring launcher = Install(true);
    TempDir targetFolder(L"My Apps");
    const std::wstring target = targetFolder.File(L"app.exe");
    ASSERT_TRUE(CopyFileW(Target().c_str(), target.c_str(), FALSE));

    EXPECT_EQ(Launch(Quoted(target) + L" -x", RunOptions(), launcher), 11u);

    EXPECT_EQ(ServiceEventNames(), (Names{L"refused", L"tool", L"refused"}));
    EXPECT_EQ(ServiceLog()[1].argument, L"/launcher " + Quoted(target));
    auto tool = ReadRecord(ToolRecordPath());
    const std::wstring folder = launcher.substr(0, launcher.rfind(L'\\'));
    EXPECT_EQ(tool[L"directory"], folder);
    EXPECT_EQ(tool[L"startupShow"], std::to_wstring(SW_SHOW));
    EXPECT_TRUE(Record().empty());
}

TEST_F(ReactivationTest, ServiceRepairedByToolStartsTheTarget) {
    ScopedEnv refuseUntil(L"PELICOR_SERVICE_REFUSE_UNTIL", m_dir.File(L"repaired.txt"));
    ScopedEnv repairs(L"PELICOR_TOOL_REPAIRS", L"1");
    const std::wstring launcher = Install(true);

    EXPECT_EQ(Launch(Quoted(Target()), RunOptions(), launcher), 7u);

    const Names names = ServiceEventNames();
    ASSERT_GE(names.size(), 4u);
    EXPECT_EQ(Names(names.begin(), names.begin() + 4),
              (Names{L"refused", L"tool", L"create", L"QueryProgram"}));
    EXPECT_FALSE(Record().empty());
}

TEST_F(ReactivationTest, FlagsDecideWhetherTheStartIsWrapped) {
    const struct {
        const wchar_t* first;
        const wchar_t* second;
        bool wrapped;
    } rules[] = {{L"1", L"0", true}, {L"1", L"1", true}, {L"0", L"0", true}, {L"0", L"1", false}};
    for (const auto& rule : rules) {
        DeleteFileW(m_dir.File(L"service.txt").c_str());
        ScopedEnv first(L"PELICOR_SERVICE_FIRST_FLAG", rule.first);
        ScopedEnv second(L"PELICOR_SERVICE_SECOND_FLAG", rule.second);
        EXPECT_EQ(Launch(Quoted(Target())), 7u);
        const Names wrapped{L"create",        L"QueryProgram",   L"destroy", L"create",
                            L"PrepareLaunch", L"CompleteLaunch", L"destroy"};
        const Names unwrapped{L"create", L"QueryProgram", L"destroy"};
        EXPECT_EQ(ServiceEventNames(), rule.wrapped ? wrapped : unwrapped) << rule.first << rule.second;
    }
}

TEST_F(ReactivationTest, ServiceIsToldTheCollapsedPathThenTheLongFileNameInTheRightApartments) {
    std::wstring doubled = Target();
    for (std::size_t pos = 0; (pos = doubled.find(L'\\', pos)) != std::wstring::npos; pos += 2) {
        doubled.insert(pos, 1, L'\\');
    }
    EXPECT_EQ(Launch(Quoted(doubled)), 7u);
    const auto log = ServiceLog();
    ASSERT_EQ(log.size(), 7u);
    EXPECT_EQ(log[1].event, L"QueryProgram");
    EXPECT_EQ(log[1].argument, Target());
    EXPECT_EQ(log[1].apartment, L"MTA");
    EXPECT_EQ(log[4].event, L"PrepareLaunch");
    EXPECT_EQ(log[4].argument, L"record_target.exe");
    EXPECT_EQ(log[4].apartment, L"STA");
    EXPECT_EQ(log[5].event, L"CompleteLaunch");
    EXPECT_EQ(log[5].argument, L"ticket:record_target.exe");
    EXPECT_EQ(log[5].apartment, L"STA");
}

TEST_F(ReactivationTest, RelativeAndShortNamedTargetsReachTheServiceAbsoluteAndLong) {
    const std::wstring shortPath = UsableShortPath(Target());
    const std::wstring shortName = shortPath.substr(shortPath.rfind(L'\\') + 1);
    if (shortPath.empty() || shortName == L"record_target.exe") {
        GTEST_SKIP() << kNoShortNames;
    }
    RunOptions inBin;
    inBin.directory = BinDir();

    EXPECT_EQ(Launch(shortName, inBin), 7u);

    const auto log = ServiceLog();
    ASSERT_EQ(log.size(), 7u);
    EXPECT_EQ(log[1].argument, BinDir() + L"\\" + shortName);
    EXPECT_EQ(log[4].argument, L"record_target.exe");
}

TEST_F(ReactivationTest, FailedStartStillCompletesTheWrapWithAnEmptyName) {
    EXPECT_EQ(Launch(Quoted(m_dir.File(L"missing.exe"))), 0u);
    const auto log = ServiceLog();
    ASSERT_EQ(log.size(), 7u);
    EXPECT_EQ(log[4].event, L"PrepareLaunch");
    EXPECT_EQ(log[4].argument, L"");  // empty, not "(null)"
    EXPECT_EQ(log[5].event, L"CompleteLaunch");
    EXPECT_EQ(log[5].argument, L"ticket:");
}

TEST_F(ReactivationTest, EveryCreatedObjectIsReleased) {
    EXPECT_EQ(Launch(Quoted(Target())), 7u);
    const Names names = ServiceEventNames();
    EXPECT_EQ(std::count(names.begin(), names.end(), L"create"), 2);
    EXPECT_EQ(std::count(names.begin(), names.end(), L"destroy"), 2);
}

TEST_F(ReactivationTest, EmptyCommandLineAsksAboutTheLauncherAndStartsNothing) {
    EXPECT_EQ(RunProcess(Launcher(), Quoted(Launcher())), 0u);
    const auto log = ServiceLog();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[1].event, L"QueryProgram");
    EXPECT_EQ(lstrcmpiW(log[1].argument.c_str(), Launcher().c_str()), 0) << log[1].argument;
    EXPECT_TRUE(Record().empty());
}

TEST_F(ReactivationTest, InProcessServicesLoadFromTheLayoutsInstallersUse) {
    // Where an installer puts the service's DLL, and the DLLs that DLL needs: found through the
    // registration's own folder or through PATH, never beside the launcher. The launcher is
    // started in a folder anybody can write, holding DLLs of the same names: in the system's
    // default order the current directory comes before PATH, and they must never load.
    const struct {
        const char* layout;
        const wchar_t* service;
        bool registeredByBareName;  // else by full path, in a folder of its own
        const wchar_t* helper;      // a DLL the service needs, on PATH only; or none
    } layouts[] = {
        {"registered by bare name, found on PATH", L"StandInReactivationService.dll", true, nullptr},
        {"registered by full path, its own DLL on PATH", L"StandInReactivationServiceWithHelper.dll", false,
         L"StandInServiceHelper.dll"},
    };
    const std::wstring launcher = Install(true);  // a planted service fails fast, not at the shell's message
    TempDir downloads(L"Downloads");
    for (const wchar_t* name : {layouts[0].service, layouts[1].helper}) {
        ASSERT_TRUE(CopyFileW(PlantedDll().c_str(), downloads.File(name).c_str(), FALSE));
    }
    ScopedEnv plantedRecord(L"PELICOR_PLANTED_RECORD", m_dir.File(L"planted.txt"));
    RunOptions inDownloads;
    inDownloads.directory = downloads.Path();
    for (const auto& layout : layouts) {
        DeleteFileW(m_dir.File(L"service.txt").c_str());
        TempDir serviceFolder(L"Service"), pathFolder(L"On Path");
        const TempDir& home = layout.registeredByBareName ? pathFolder : serviceFolder;
        const std::wstring service = home.File(layout.service);
        ASSERT_TRUE(CopyFileW((BinDir() + L"\\" + layout.service).c_str(), service.c_str(), FALSE));
        if (layout.helper != nullptr) {
            ASSERT_TRUE(CopyFileW((BinDir() + L"\\tool\\" + layout.helper).c_str(),
                                  pathFolder.File(layout.helper).c_str(), FALSE));
        }
        RegisterInprocServiceAs(layout.registeredByBareName ? std::wstring(layout.service) : service);
        ScopedEnv path(L"PATH", pathFolder.Path() + L";" + EnvironmentValue(L"PATH"));

        EXPECT_EQ(Launch(Quoted(Target()), inDownloads, launcher), 7u) << layout.layout;
        EXPECT_EQ(ServiceEventNames(), (Names{L"create", L"QueryProgram", L"destroy", L"create",
                                              L"PrepareLaunch", L"CompleteLaunch", L"destroy"}))
            << layout.layout;
    }
    EXPECT_EQ(ReadBytes(m_dir.File(L"planted.txt")), "") << "a DLL from the current directory was loaded";
}

class LocalServerTest : public ReactivationTest {
protected:
    LocalServerTest() { RegisterLocalService(SettingsFile()); }
    ~LocalServerTest() override { RegisterInprocService(); }
    std::wstring SettingsFile() const { return m_dir.File(L"server-settings.txt"); }
};

TEST_F(LocalServerTest, ServiceInAnotherProcessIsAskedAndWrapsTheStart) {
    // Windows starts the server with the user's environment, not the launcher's: the settings go
    // in the file its registration names.
    WriteServiceSettings(SettingsFile());
    const ChildProcess launcher = StartProcess(Launcher(), Quoted(Launcher()) + L" " + Quoted(Target()));
    ASSERT_NE(launcher.Handle(), nullptr);
    EXPECT_EQ(WaitForExit(launcher, 60000), 7u);

    Names calls;
    for (const ServiceEvent& e : ServiceLog()) {
        if (e.event == L"QueryProgram" || e.event == L"PrepareLaunch" || e.event == L"CompleteLaunch") {
            calls.push_back(e.event);
            EXPECT_NE(e.processId, launcher.Id()) << "served in the launcher's own process";
        }
    }
    EXPECT_EQ(calls, (Names{L"QueryProgram", L"PrepareLaunch", L"CompleteLaunch"}));
}

}  // namespace
}  // namespace pelicor::testing
