#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "shell/DatabaseSetup.h"
#include "shell/ProgramSettings.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/Unprivileged.h"

using namespace kestrix;
using namespace kestrix::test;
namespace fs = std::filesystem;

TEST(FindSetting, FindsKeysOfASectionWithoutRegardToCase) {
    const std::string file =
        "; kept by hand\r\n"
        "interface=outside\r\n"
        "[other]\r\n"
        "DB_path=/wrong\r\n"
        "[MAIN]\r\n"
        "Interface=eth0\r\n"
        "DB_path = \"/srv/db\"\r\n"
        "DB_pass=\r\n"
        "quoted='single'\r\n"
        "half=\"open\r\n"
        "equation=a=b\r\n"
        "interface=second\r\n";
    const struct {
        const char* key;
        std::optional<std::string> value;
    } cases[] = {
        {"interface", "eth0"},  // the first of repeated keys
        {"INTERFACE", "eth0"},
        {"DB_path", "/srv/db"},  // blanks around "=" and the quotation marks go
        {"DB_pass", ""},         // present and empty: not the default
        {"quoted", "single"},
        {"half", "\"open"},
        {"equation", "a=b"},
        {"missing", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(FindSetting(file, "main", c.key), c.value) << c.key;
    EXPECT_EQ(FindSetting(file, "absent", "interface"), std::nullopt);
    EXPECT_EQ(FindSetting("", "main", "interface"), std::nullopt);
    EXPECT_EQ(FindSetting("[main]\nDB_path=/unix/ends\n", "Main", "db_PATH"), "/unix/ends");
}

TEST(FindSetting, CutsLongValues) {
    const std::string value(3000, 'x');
    EXPECT_EQ(FindSetting("[main]\r\nDB_path=" + value + "\r\n", "main", "DB_path"), std::string(2047, 'x'));
}

TEST(WithSetting, ChangesOnlyItsKey) {
    const struct {
        const char* name;
        std::string before;
        std::string after;
    } cases[] = {
        {"empty file", "", "[main]\r\ninterface=eth1\r\n"},
        {"replaced in place",
         "; note\r\n[main]\r\nDB_path=/db\r\nInterface=eth0\r\nDB_pass=x\r\n[tail]\r\nk=v\r\n",
         "; note\r\n[main]\r\nDB_path=/db\r\ninterface=eth1\r\nDB_pass=x\r\n[tail]\r\nk=v\r\n"},
        {"added after the section's last key",
         "[main]\r\nDB_path=/db\r\n\r\n[tail]\r\nk=v\r\n",
         "[main]\r\nDB_path=/db\r\ninterface=eth1\r\n\r\n[tail]\r\nk=v\r\n"},
        {"section appended", "[other]\r\nk=v", "[other]\r\nk=v\r\n[main]\r\ninterface=eth1\r\n"},
        {"bare line ends kept", "[Main]\ninterface=old\nx=1\n", "[Main]\ninterface=eth1\nx=1\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(WithSetting(c.before, "main", "interface", "eth1"), c.after) << c.name;
    EXPECT_EQ(WithSetting("[main]\r\nDB_path=/db\r\n", "main", "DB_path", ""), "[main]\r\nDB_path=\r\n");
}

namespace {
class SettingsFileTest : public ::testing::Test {
protected:
    ScratchDirectory scratch{"kx-settings"};
    const fs::path dir = scratch.path;
    const fs::path file = dir / "settings.ini";
};
}  // namespace

TEST_F(SettingsFileTest, AMissingFileGivesDefaultsAndIsNotCreated) {
    const SettingsFile settings(file);
    EXPECT_FALSE(settings.exists());
    EXPECT_EQ(settings.ReadSetting("main", "DB_pass", "fbdefault"), "fbdefault");
    EXPECT_FALSE(fs::exists(file));
}

TEST_F(SettingsFileTest, AWriteCreatesTheFileAndIsSeenByTheNextRead) {
    const SettingsFile settings(file);
    settings.WriteSetting("main", "interface", "");
    EXPECT_EQ(FileText(file), "[main]\r\ninterface=\r\n");
    EXPECT_EQ(settings.ReadSetting("main", "interface", "default"), "");
    settings.WriteSetting("main", "DB_path", "/srv/Базы");
    EXPECT_EQ(FileText(file), "[main]\r\ninterface=\r\nDB_path=/srv/\xC1\xE0\xE7\xFB\r\n");  // Windows-1251 on disk
    EXPECT_EQ(settings.ReadSetting("MAIN", "db_path", ""), "/srv/Базы");
    // An edit by hand is seen at once: nothing is cached.
    std::ofstream(file, std::ios::binary) << "[main]\r\nDB_path='/by/hand'\r\n";
    EXPECT_EQ(settings.ReadSetting("main", "DB_path", ""), "/by/hand");
}

TEST_F(SettingsFileTest, AnUnwritableFileRaisesTheErrorAndStaysAsItWas) {
    std::ofstream(file, std::ios::binary) << "[main]\r\ninterface=eth0\r\n";
    const SettingsFile settings(file);
    const std::string expected = "Unable to write to " + file.string();
    if (::geteuid() != 0) {
        fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
        try {
            settings.WriteSetting("main", "interface", "eth1");
            FAIL() << "no error";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(e.what(), expected);
        }
        fs::permissions(dir, fs::perms::owner_all);
    }
    ::chmod(file.c_str(), 0444);
    if (::geteuid() != 0) {
        try {
            settings.WriteSetting("main", "interface", "eth1");
            FAIL() << "no error";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(e.what(), expected);
        }
    }
    EXPECT_EQ(FileText(file), "[main]\r\ninterface=eth0\r\n");
    // A directory that is gone: as root too.
    const SettingsFile nowhere(dir / "missing" / "settings.ini");
    try {
        nowhere.WriteSetting("main", "interface", "eth1");
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(e.what(), "Unable to write to " + (dir / "missing" / "settings.ini").string());
    }
}

TEST_F(SettingsFileTest, NoTemporaryFileIsLeftBehind) {
    const SettingsFile settings(file);
    for (int i = 0; i < 5; ++i) settings.WriteSetting("main", "interface", "eth" + std::to_string(i));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
    EXPECT_EQ(settings.ReadSetting("main", "interface", ""), "eth4");
}

TEST_F(SettingsFileTest, AFileThatCannotBeReadIsNeverReplacedByAWrite) {
    GiveToUnprivileged(dir);
    const std::string kept = "[main]\r\ninterface=eth0\r\nDB_path=/srv/kestrix\r\nDB_pass=secret\r\n";
    std::ofstream(file, std::ios::binary) << kept;
    GiveToUnprivileged(file);
    ::chmod(file.c_str(), 0200);
    const SettingsFile settings(file);
    const int result = RunUnprivileged([&] {
        if (settings.ReadSetting("main", "DB_path", "default") != "default") return 1;  // reading never fails
        try {
            settings.WriteSetting("main", "interface", "eth1");
            return 2;
        } catch (const std::runtime_error& error) {
            return std::string(error.what()) == "Unable to write to " + file.string() ? 0 : 3;
        }
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(FileText(file), kept);
}

// An installed program: settings.ini is the administrator's, readable but not
// writable for the operator. The operator's interface goes to a file of the
// operator's own and is read from there first; the administrator's settings
// stay in force and are never written elsewhere.
TEST_F(SettingsFileTest, AnOperatorWhoMayNotChangeTheProgramsFileKeepsTheInterfaceInAFileOfItsOwn) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to play the administrator beside an operator";
    const std::string administrators = "[main]\r\ninterface=eth0\r\nDB_path=/srv/kestrix\r\nDB_pass=secret\r\n";
    std::ofstream(file, std::ios::binary) << administrators;
    ::chmod(file.c_str(), 0644);
    ::chmod(dir.c_str(), 0755);
    const fs::path home = dir / "home";
    fs::create_directories(home);
    GiveToUnprivileged(home);
    const ProgramSettings settings(file.string(), (home / ".config" / "kestrix" / "settings.ini").string());
    const int result = RunUnprivileged([&] {
        if (settings.ReadSetting("main", "interface", "") != "eth0") return 1;  // the program's, until the operator chose
        settings.WriteSetting("main", "interface", "eth1");
        if (settings.ReadSetting("main", "interface", "") != "eth1") return 2;
        if (settings.ReadSetting("main", "DB_path", "") != "/srv/kestrix") return 3;
        try {
            settings.WriteSetting("main", "DB_path", "/elsewhere");  // the administrator's: never written by an operator
            return 4;
        } catch (const std::runtime_error& error) {
            return std::string(error.what()) == "Unable to write to " + file.string() ? 0 : 5;
        }
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(FileText(file), administrators);
    const fs::path own = home / ".config" / "kestrix" / "settings.ini";
    EXPECT_EQ(FileText(own), "[main]\r\ninterface=eth1\r\n");
    EXPECT_EQ(fs::status(own.parent_path()).permissions(), fs::perms::owner_all);

    // Where the user may change the program's file (the source tree), it holds
    // everything, and a stale file of the operator's own plays no part.
    const ProgramSettings writable(file.string(), own.string());
    EXPECT_EQ(writable.ReadSetting("main", "interface", ""), "eth0");
    writable.WriteSetting("main", "interface", "eth2");
    EXPECT_EQ(FileText(file), "[main]\r\ninterface=eth2\r\nDB_path=/srv/kestrix\r\nDB_pass=secret\r\n");
    EXPECT_EQ(FileText(own), "[main]\r\ninterface=eth1\r\n");
}

// The administrator's settings.ini without DB_path: an operator gets the
// default folder and leaves the file as it is; where the user may change it,
// the default is written back as before.
TEST_F(SettingsFileTest, AnOperatorTakesTheDefaultDatabaseFolderWithoutWritingTheAdministratorsFile) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to play the administrator beside an operator";
    std::ofstream(file, std::ios::binary) << "[main]\r\n";
    std::ofstream(dir / "libfbclient.so") << "";
    ::chmod(file.c_str(), 0644);
    ::chmod(dir.c_str(), 0755);
    const std::string program = dir.string() + "/";
    const ClientLibraryPlaces places{program, {}, {}};
    const ProgramSettings settings(file.string(), (dir / "operator" / "settings.ini").string());
    const int result = RunUnprivileged([&] {
        const auto location = ReadDatabaseLocation(settings, program, places);
        const auto* found = std::get_if<DatabaseLocation>(&location);
        return found && found->directory == program + "DB" && found->password == "fbdefault" ? 0 : 1;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(FileText(file), "[main]\r\n");
    const auto location = ReadDatabaseLocation(settings, program, places);  // as root: may change it
    ASSERT_TRUE(std::holds_alternative<DatabaseLocation>(location));
    EXPECT_EQ(FileText(file), "[main]\r\nDB_path=" + program + "DB\r\n");
}
