// Where the settings file lives: the user's folder from the environment, the choice
// between next to the program and that folder, and the write at exit landing there.
#include "settings/file_io.h"
#include "settings/ini_file.h"
#include "settings/settings_place.h"
#include "support/temp_folder.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace zev1 {
namespace {
namespace fs = std::filesystem;

environment_lookup fake_env(std::map<std::string, fs::path> vars) {
    return [vars = std::move(vars)](std::string_view name) -> std::optional<fs::path> {
        auto it = vars.find(std::string(name));
        return it == vars.end() ? std::nullopt : std::optional<fs::path>(it->second);
    };
}

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class SettingsPlace : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(root / "bin");
        beside = root / "bin" / "zev1-wifi.INI";
        user = root / "home" / ".config" / "zev1"; // not there yet
    }
    settings_place choose(bool bin_writable) const {
        return choose_settings_place(beside, user,
                                     [bin_writable](const fs::path&) { return bin_writable; });
    }
    test::temp_folder folder{"zev1-place"};
    fs::path root = folder.path(), beside, user;
};

TEST_F(SettingsPlace, UserFolderFromTheEnvironment) {
#ifdef _WIN32
    EXPECT_EQ(user_settings_folder(fake_env({{"APPDATA", "C:\\Users\\t\\AppData\\Roaming"}})),
              fs::path("C:\\Users\\t\\AppData\\Roaming\\ZEV1"));
    EXPECT_EQ(user_settings_folder(fake_env({{"APPDATA", "relative"}})), fs::path());
#else
    EXPECT_EQ(user_settings_folder(fake_env({{"XDG_CONFIG_HOME", "/x/cfg"}, {"HOME", "/home/t"}})),
              fs::path("/x/cfg/zev1"));
    // A relative XDG_CONFIG_HOME does not count.
    EXPECT_EQ(user_settings_folder(fake_env({{"XDG_CONFIG_HOME", "cfg"}, {"HOME", "/home/t"}})),
              fs::path("/home/t/.config/zev1"));
    EXPECT_EQ(user_settings_folder(fake_env({{"HOME", "rel"}})), fs::path());
#endif
    EXPECT_EQ(user_settings_folder(fake_env({})), fs::path());
}

TEST_F(SettingsPlace, NextToTheProgramWhileItCanBeWritten) {
    const fs::path in_user = user / "zev1-wifi.INI";
    // A build tree or a portable copy: next to the program, even when the user's folder
    // has a file from an installed copy.
    EXPECT_EQ(choose(true).write, beside);
    fs::create_directories(user);
    std::ofstream(in_user) << "[com]\n";
    EXPECT_EQ(choose(true).read, beside);
    EXPECT_EQ(choose(true).write, beside);
    // Without a user folder nothing better is known.
    EXPECT_EQ(choose_settings_place(beside, {}, [](const fs::path&) { return false; }).write,
              beside);
    // Read-only program folder: the user's file.
    EXPECT_EQ(choose(false).read, in_user);
    EXPECT_EQ(choose(false).write, in_user);
    // A file next to the program does not hide the user's own.
    std::ofstream(beside) << "[com]\n";
    EXPECT_EQ(choose(false).read, in_user);
}

// A package's read-only program folder that comes with a settings file: that file is
// read once, and the write at exit creates the user's folder and keeps the settings
// there; the next start finds them.
TEST_F(SettingsPlace, AFileHandedOutWithTheProgramIsReadAndTheUserFolderCreated) {
    std::ofstream(beside) << "[main_win]\nlevel=7\n[com]\ncom=ttyUSB0\n";
    const settings_place first = choose(false);
    EXPECT_EQ(first.read, beside);
    EXPECT_EQ(first.write, user / "zev1-wifi.INI");
    {
        Tini_file ini(first);
        EXPECT_EQ(ini.ReadString("com", "com", ""), "ttyUSB0");
        EXPECT_EQ(ini.path(), user / "zev1-wifi.INI");
        ini.WriteString("com", "com", "ttyACM0");
    }
    EXPECT_NE(slurp(user / "zev1-wifi.INI").find("com=ttyACM0"), std::string::npos);
    EXPECT_NE(slurp(user / "zev1-wifi.INI").find("level=7"), std::string::npos);
    EXPECT_NE(slurp(beside).find("com=ttyUSB0"), std::string::npos); // left as it was
#ifndef _WIN32
    struct stat st {};
    ASSERT_EQ(::stat(user.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u); // new settings folders are private
    ASSERT_EQ(::stat(user.parent_path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
#endif
    const settings_place second = choose(false);
    EXPECT_EQ(second.read, user / "zev1-wifi.INI");
    Tini_file again(second);
    EXPECT_EQ(again.ReadString("com", "com", ""), "ttyACM0");
}

// A file next to a read-only program that cannot be read (here a folder in its place)
// must not keep the settings from the user's folder: that file is not the one written.
TEST_F(SettingsPlace, AnUnreadableFileBesideAReadOnlyProgramDoesNotStopTheSaving) {
    fs::create_directories(beside);
    {
        Tini_file ini(choose(false));
        EXPECT_TRUE(ini.has_store());
        ini.WriteString("com", "com", "ttyACM0");
    }
    EXPECT_NE(slurp(user / "zev1-wifi.INI").find("com=ttyACM0"), std::string::npos);
}

TEST_F(SettingsPlace, WritableIsWhatTheWriteAtExitCanDo) {
    EXPECT_TRUE(can_replace_file(beside));
    EXPECT_TRUE(fs::is_empty(root / "bin")); // the probe file is gone again
    EXPECT_FALSE(can_replace_file(root / "missing" / "zev1-wifi.INI"));
#ifdef _WIN32
    std::ofstream(beside) << "[com]\n";
    ASSERT_TRUE(SetFileAttributesW(beside.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(can_replace_file(beside)); // the replacing rename would be refused
    SetFileAttributesW(beside.c_str(), FILE_ATTRIBUTE_NORMAL);
#else
    // A folder where not even root may create a file.
    EXPECT_FALSE(can_replace_file("/proc/zev1-wifi.INI"));
#endif
}

// Root may write /usr/bin, but a program installed there keeps its settings in the
// user's folder all the same: nothing is left behind among the package's files.
TEST_F(SettingsPlace, NeverAmongTheSystemsPrograms) {
#ifndef _WIN32
    EXPECT_FALSE(may_keep_settings_beside("/usr/bin/zev1-wifi.INI"));
    EXPECT_FALSE(may_keep_settings_beside("/usr/local/bin/zev1-wifi.INI"));
    EXPECT_FALSE(may_keep_settings_beside("/usr/bin/../bin/zev1-wifi.INI"));
    EXPECT_TRUE(may_keep_settings_beside("/opt/zev1/zev1-wifi.INI"));
    EXPECT_TRUE(may_keep_settings_beside("/home/t/usr/zev1-wifi.INI"));
#endif
    EXPECT_TRUE(may_keep_settings_beside(beside));
}

} // namespace
} // namespace zev1
