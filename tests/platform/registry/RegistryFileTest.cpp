// The registry file: loading, saving after every change, refusing malformed
// files, and a later process seeing what an earlier one registered.
#include <sys/stat.h>

#include "RegistryTestSupport.h"

namespace registry_test {
namespace {

class RegistryFile : public RegistryTest {
 protected:
  std::string UseFresh(const std::string& name = "registry.reg") {
    std::string path = m_dir.File(name);
    std::string error;
    EXPECT_TRUE(platform::UseRegistryFile(path, &error)) << error;
    return path;
  }

  // What a new process would see: forget everything, read the file again.
  static void RestartFrom(const std::string& path) {
    platform::ResetRegistry();
    std::string error;
    ASSERT_TRUE(platform::UseRegistryFile(path, &error)) << error;
  }

  TempDirectory m_dir;
};

// Restores TESSALY_REGISTRY as the test found it.
class ScopedRegistryVariable {
 public:
  explicit ScopedRegistryVariable(const std::string& value) {
    const char* old = std::getenv("TESSALY_REGISTRY");
    m_had = old != nullptr;
    if (m_had) m_old = old;
    ::setenv("TESSALY_REGISTRY", value.c_str(), 1);
  }
  ~ScopedRegistryVariable() {
    if (m_had) {
      ::setenv("TESSALY_REGISTRY", m_old.c_str(), 1);
    } else {
      ::unsetenv("TESSALY_REGISTRY");
    }
  }

 private:
  bool m_had = false;
  std::string m_old;
};

const char kRegistration[] =
    "REGEDIT4\n"
    "\n"
    "[HKEY_CLASSES_ROOT\\CLSID]\n"
    "\n"
    "[HKEY_CLASSES_ROOT\\CLSID\\{6B1E4F20-D3A7-11D1-8C52-00A0C93B7E14}]\n"
    "@=\"Tessaly Parser\"\n"
    "\n"
    "[HKEY_CLASSES_ROOT\\CLSID\\{6B1E4F20-D3A7-11D1-8C52-00A0C93B7E14}\\InprocServer32]\n"
    "@=\"/opt/tessaly/tessaly.ax\"\n"
    "\"ThreadingModel\"=\"Both\"\n"
    "\n";

TEST_F(RegistryFile, MissingFileStartsEmptyAndAppearsOnTheFirstChange) {
  std::string path = UseFresh();
  EXPECT_FALSE(FileExists(path));
  EXPECT_EQ(platform::RegistryFilePath(), path);
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(FileExists(path));

  HKEY clsid = Create("CLSID\\{6B1E4F20-D3A7-11D1-8C52-00A0C93B7E14}");
  ASSERT_EQ(RegSetValueA(clsid, nullptr, REG_SZ, "Tessaly Parser", 0), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueA(clsid, "InprocServer32", REG_SZ, "/opt/tessaly/tessaly.ax", 0),
            ERROR_SUCCESS);
  HKEY server = Create("InprocServer32", clsid);
  SetString(server, "ThreadingModel", "Both");
  RegCloseKey(server);
  RegCloseKey(clsid);
  EXPECT_EQ(ReadFile(path), kRegistration);
  // Nothing but the registry itself is left in its directory.
  EXPECT_EQ(m_dir.Entries(), std::vector<std::string>{"registry.reg"});
}

TEST_F(RegistryFile, EveryKindOfChangeIsSavedAtOnce) {
  std::string path = UseFresh();
  HKEY key = Create("A\\B");
  EXPECT_NE(ReadFile(path).find("[HKEY_CLASSES_ROOT\\A\\B]"), std::string::npos);
  SetString(key, "v", "1");
  EXPECT_NE(ReadFile(path).find("\"v\"=\"1\""), std::string::npos);
  ASSERT_EQ(RegDeleteValueA(key, "v"), ERROR_SUCCESS);
  EXPECT_EQ(ReadFile(path).find("\"v\""), std::string::npos);
  RegCloseKey(key);
  ASSERT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "A\\B"), ERROR_SUCCESS);
  EXPECT_EQ(ReadFile(path), "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\A]\n\n");
}

TEST_F(RegistryFile, ALaterProcessSeesWhatAnEarlierOneWrote) {
  std::string path = UseFresh();
  HKEY key = Create("Media Type\\{e436eb83-524f-11ce-9f53-0020af0ba770}\\{Sub}");
  const char checkBytes[] = "0,4,,46494C4D,16,4,,46445343";
  ASSERT_EQ(RegSetValueExA(key, "0", 0, REG_SZ, reinterpret_cast<const BYTE*>(checkBytes), 29),
            ERROR_SUCCESS);
  const BYTE odd[] = {'x', 0, 'y'};
  ASSERT_EQ(RegSetValueExA(key, "odd", 0, REG_SZ, odd, sizeof odd), ERROR_SUCCESS);
  const DWORD number = 0xDEADBEEF;
  ASSERT_EQ(RegSetValueExA(key, "n", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4),
            ERROR_SUCCESS);
  RegCloseKey(key);
  std::string before = platform::ExportRegistryText();

  RestartFrom(path);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);  // handles die with the process
  ASSERT_EQ(
      RegOpenKeyExA(HKEY_CLASSES_ROOT, "MEDIA TYPE\\{E436EB83-524F-11CE-9F53-0020AF0BA770}\\{sub}",
                    0, KEY_READ, &key),
      ERROR_SUCCESS);
  EXPECT_EQ(Read(key, "0"), std::string(checkBytes, 29));
  EXPECT_EQ(Read(key, "odd"), std::string("x\0y", 3));
  EXPECT_EQ(Read(key, "n"), std::string("\xEF\xBE\xAD\xDE", 4));
  RegCloseKey(key);
  EXPECT_EQ(platform::ExportRegistryText(), before);
}

TEST_F(RegistryFile, TheEnvironmentVariableNamesTheFileOfAFreshProcess) {
  std::string path = m_dir.File("from-env.reg");
  WriteFile(path, kRegistration);
  ScopedRegistryVariable variable(path);
  platform::ResetRegistry();
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT,
                          "CLSID\\{6B1E4F20-D3A7-11D1-8C52-00A0C93B7E14}\\InprocServer32", 0,
                          KEY_READ, &key),
            ERROR_SUCCESS);
  EXPECT_EQ(Read(key, "ThreadingModel"), std::string("Both", 5));
  RegCloseKey(key);
  EXPECT_EQ(platform::RegistryFilePath(), path);
}

TEST_F(RegistryFile, WithoutTheVariableTheRegistryLivesInMemory) {
  ScopedRegistryVariable variable("");
  platform::ResetRegistry();
  RegCloseKey(Create("Only\\In\\Memory"));
  EXPECT_EQ(platform::RegistryFilePath(), "");
  EXPECT_TRUE(Exists("Only\\In\\Memory"));
  EXPECT_TRUE(m_dir.Entries().empty());
}

const char* const kMalformed[] = {
    "REGEDIT5\n\n[HKEY_CLASSES_ROOT\\K]\n",
    "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\K]\n\"v\"=\"unterminated\n",
    "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\K]\n\"v\"=\"bad \\q escape\"\n",
    "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\K]\n\"v\"=hex:01,zz\n",
    "REGEDIT4\n\n[HKEY_CURRENT_USER\\K]\n",
};

TEST_F(RegistryFile, MalformedFileIsRefusedAndLeftUntouched) {
  std::string good = UseFresh("good.reg");
  RegCloseKey(Create("Existing"));
  std::string path = m_dir.File("bad.reg");
  for (const char* text : kMalformed) {
    WriteFile(path, text);
    std::string error;
    EXPECT_FALSE(platform::UseRegistryFile(path, &error)) << text;
    EXPECT_NE(error.find("bad.reg"), std::string::npos) << error;
    EXPECT_NE(error.find("line "), std::string::npos) << error;
    // Still the old file and the old tree.
    EXPECT_EQ(platform::RegistryFilePath(), good);
    EXPECT_TRUE(Exists("Existing"));
    RegCloseKey(Create("Existing\\More"));
    ASSERT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "Existing\\More"), ERROR_SUCCESS);
    EXPECT_EQ(ReadFile(path), text);
  }
}

TEST_F(RegistryFile, MalformedFileNamedByTheVariableFailsEveryCallAndIsNotOverwritten) {
  std::string path = m_dir.File("broken.reg");
  const std::string text = "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\K]\n\"v\"=\"open\n";
  WriteFile(path, text);
  ScopedRegistryVariable variable(path);
  platform::ResetRegistry();

  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, "New", &key), ERROR_BADDB);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "K", 0, KEY_READ, &key), ERROR_BADDB);
  EXPECT_EQ(RegSetValueA(HKEY_CLASSES_ROOT, "New", REG_SZ, "x", 2), ERROR_BADDB);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "K"), ERROR_BADDB);
  std::string error;
  EXPECT_FALSE(platform::ImportRegistryText("REGEDIT4\n[HKEY_CLASSES_ROOT\\I]\n", &error));
  EXPECT_NE(platform::RegistryLoadError().find("unterminated string"), std::string::npos)
      << platform::RegistryLoadError();
  EXPECT_EQ(ReadFile(path), text);
  EXPECT_EQ(m_dir.Entries(), std::vector<std::string>{"broken.reg"});
}

TEST_F(RegistryFile, ImportMergesAndSavesOrChangesNothing) {
  std::string path = UseFresh();
  HKEY key = Create("Keep");
  SetString(key, "v", "old");
  std::string error;
  ASSERT_TRUE(
      platform::ImportRegistryText("REGEDIT4\r\n\r\n[HKEY_CLASSES_ROOT\\keep]\r\n\"V\"=\"new\"\r\n"
                                   "[HKEY_CLASSES_ROOT\\Added\\Child]\r\n\"n\"=dword:00000001\r\n",
                                   &error))
      << error;
  // The open handle sees the merged value: the key itself was kept.
  EXPECT_EQ(Read(key, "v"), std::string("new", 4));
  EXPECT_TRUE(Exists("Added\\Child"));
  std::string saved = ReadFile(path);
  EXPECT_NE(saved.find("[HKEY_CLASSES_ROOT\\Added\\Child]"), std::string::npos);

  EXPECT_FALSE(platform::ImportRegistryText(
      "REGEDIT4\n[HKEY_CLASSES_ROOT\\Partial]\n\"a\"=\"1\"\n\"b\"=hex:0x\n", &error));
  EXPECT_NE(error.find("line 4"), std::string::npos) << error;
  EXPECT_FALSE(Exists("Partial"));
  EXPECT_EQ(ReadFile(path), saved);
  RegCloseKey(key);
}

TEST_F(RegistryFile, AChangeThatCannotBeSavedIsUndone) {
  TempDirectory doomed;
  std::string path = doomed.File("registry.reg");
  std::string error;
  ASSERT_TRUE(platform::UseRegistryFile(path, &error)) << error;
  HKEY key = Create("Key");
  SetString(key, "v", "kept");
  RegCloseKey(Create("Key\\Sub"));
  // Take the directory away so that no temporary file can be created.
  ::unlink(path.c_str());
  ASSERT_EQ(::rmdir(doomed.Path().c_str()), 0);

  HKEY created = nullptr;
  EXPECT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, "New\\Branch", &created), ERROR_CANTWRITE);
  EXPECT_FALSE(Exists("New"));
  EXPECT_EQ(RegSetValueExA(key, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2),
            ERROR_CANTWRITE);
  EXPECT_EQ(RegSetValueA(key, "Fresh", REG_SZ, "x", 0), ERROR_CANTWRITE);
  EXPECT_FALSE(Exists("Key\\Fresh"));
  EXPECT_EQ(RegDeleteValueA(key, "v"), ERROR_CANTWRITE);
  EXPECT_EQ(Read(key, "v"), std::string("kept", 5));
  EXPECT_EQ(RegDeleteKeyA(key, "Sub"), ERROR_CANTWRITE);
  EXPECT_TRUE(Exists("Key\\Sub"));
  EXPECT_FALSE(platform::ImportRegistryText("REGEDIT4\n[HKEY_CLASSES_ROOT\\I]\n", &error));
  EXPECT_FALSE(Exists("I"));
  RegCloseKey(key);
}

TEST_F(RegistryFile, AFailedRenameLeavesNoTemporaryFileBehind) {
  std::string path = UseFresh();
  // A directory where the file should be: the temporary file can be written
  // but not renamed over it.
  ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((path + "/occupied").c_str(), 0755), 0);
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, "Key", &key), ERROR_CANTWRITE);
  EXPECT_EQ(m_dir.Entries(), std::vector<std::string>{"registry.reg"});
  EXPECT_FALSE(Exists("Key"));
  ::rmdir((path + "/occupied").c_str());
  ::rmdir(path.c_str());
}

TEST_F(RegistryFile, AnUnreadableFileIsRefused) {
  std::string error;
  EXPECT_FALSE(platform::UseRegistryFile(m_dir.Path(), &error));
  EXPECT_NE(error.find("cannot read registry file"), std::string::npos) << error;
  EXPECT_FALSE(platform::UseRegistryFile("", &error));
  EXPECT_EQ(platform::RegistryFilePath(), "");
}

TEST_F(RegistryFile, SavingKeepsTheFilePermissionsAndFollowsSymbolicLinks) {
  std::string target = m_dir.File("real.reg");
  WriteFile(target, "REGEDIT4\n");
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  std::string link = m_dir.File("link.reg");
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  std::string error;
  ASSERT_TRUE(platform::UseRegistryFile(link, &error)) << error;
  RegCloseKey(Create("Key"));

  struct stat info;
  ASSERT_EQ(::lstat(link.c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  ASSERT_EQ(::stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_EQ(ReadFile(target), "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\Key]\n\n");
}

TEST_F(RegistryFile, SwitchingFilesInvalidatesOpenHandles) {
  UseFresh("first.reg");
  HKEY key = Create("Key");
  UseFresh("second.reg");
  EXPECT_EQ(RegSetValueExA(key, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2),
            ERROR_INVALID_HANDLE);
  EXPECT_FALSE(Exists("Key"));
  platform::UseMemoryRegistry();
  EXPECT_EQ(platform::RegistryFilePath(), "");
}

}  // namespace
}  // namespace registry_test
