#include "launcher/self_launch_guard.h"

#include <gtest/gtest.h>

#include "tests/e2e/process_runner.h"

namespace pelicor {
namespace {

using testing::BinDir;
using testing::NamedEvent;
using testing::Quoted;
using testing::ScopedEnv;
using testing::TempDir;

std::wstring OwnBaseName() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring full = path;
    return full.substr(full.rfind(L'\\') + 1);
}

TEST(IsEarlierProcessOfSameProgram, HoldsForAProcessWithThisNameThatIsNotYounger) {
    EXPECT_TRUE(IsEarlierProcessOfSameProgram(GetCurrentProcessId()));
}

TEST(IsEarlierProcessOfSameProgram, RejectsAYoungerProcessThatMerelyHasThisName) {
    // What a parent's reused process id looks like: same file name, created after us.
    TempDir folder(L"younger");
    const std::wstring impostor = folder.File(OwnBaseName());
    ASSERT_TRUE(CopyFileW((BinDir() + L"\\record_target.exe").c_str(), impostor.c_str(), FALSE));
    NamedEvent started;
    NamedEvent release;
    ScopedEnv startedName(L"PELICOR_TEST_STARTED_EVENT", started.Name());
    ScopedEnv waitName(L"PELICOR_TEST_WAIT_EVENT", release.Name());
    const testing::ChildProcess child = testing::StartProcess(impostor, Quoted(impostor));
    ASSERT_NE(child.Handle(), nullptr);
    ASSERT_TRUE(started.Wait(60000));

    EXPECT_FALSE(IsEarlierProcessOfSameProgram(child.Id()));

    release.Set();
    EXPECT_EQ(testing::WaitForExit(child, 60000), 0u);
}

TEST(IsEarlierProcessOfSameProgram, RejectsAProcessThatCannotBeOpened) {
    EXPECT_FALSE(IsEarlierProcessOfSameProgram(0));
    EXPECT_FALSE(IsEarlierProcessOfSameProgram(0xFFFFFFFC));
}

TEST(IsStartedBySameProgram, PassesUnderADifferentlyNamedParent) { EXPECT_FALSE(IsStartedBySameProgram()); }

}  // namespace
}  // namespace pelicor
