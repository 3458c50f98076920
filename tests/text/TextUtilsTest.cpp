#include "text/TextUtils.h"
#include "text/UrlText.h"

#include <gtest/gtest.h>

namespace pelmar {
namespace {

TEST(MatchesMask, Wildcards) {
  using TMasks = std::vector<std::string>;
  const struct {
    const char* Name;
    TMasks Masks;
    bool Matches;
  } cases[] = {
      {"a.b.txt", {"*.txt"}, true},  // backtracking past the first "."
      {"a.b.txt", {"*txt"}, true},
      {"abc", {"*c"}, false},  // tested as "abc."
      {"abc", {"*c."}, true},
      {"abc", {"*."}, true},
      {"abc.txt", {"*."}, false},
      {"README", {"readme."}, true},  // the name is lower-cased
      {"x", {"??"}, true},            // "x."
      {"xy", {"???"}, true},
      {"xy", {"??"}, false},
      {"anything", {}, true},
      {"anything", {"*.zip", "*.*"}, true},
      {"a.zip", {""}, false},
      {"aaa.txt", {"*a*a*a*.txt"}, true},
      {"aa.txt", {"*a*a*a*.txt"}, false},
      {"photo 1.jpeg", {"*.jp?g"}, true},
  };
  for (const auto& c : cases) EXPECT_EQ(MatchesMask(c.Name, c.Masks), c.Matches) << c.Name;
}

TEST(TextHelpers, ParentsLinksAndLines) {
  const struct {
    const char* Path;
    bool Result;
    const char* After;
  } parents[] = {{"/pub/incoming/", true, "/pub/"},
                 {"/pub/", true, "/"},
                 {"/", false, "/"},
                 {"", false, ""},
                 {"C:\\", false, "C:\\"},
                 {"C:\\Data\\", true, "C:\\"},
                 {"C:\\Data\\Sub\\", true, "C:\\Data\\"}};
  for (const auto& p : parents) {
    std::string path = p.Path;
    EXPECT_EQ(ParentFolder(path), p.Result) << p.Path;
    EXPECT_EQ(path, p.After) << p.Path;
  }

  EXPECT_EQ(LinkName("www -> /home/www"), "www");
  EXPECT_EQ(LinkTarget("www -> /home/www"), "/home/www");
  EXPECT_EQ(LinkName("a -> b -> c"), "a");
  EXPECT_EQ(LinkTarget("a -> b -> c"), "b -> c");
  EXPECT_EQ(LinkName("plain"), "plain");
  EXPECT_EQ(LinkTarget("plain"), "");

  std::string text = "one\r\ntwo\rthree";
  EXPECT_EQ(FirstLine(text), "one");
  EXPECT_EQ(FirstLine(text), "two");
  EXPECT_EQ(FirstLine(text), "three");
  EXPECT_EQ(text, "");
}

TEST(SplitUrl, Parts) {
  const struct {
    const char* Url;
    const char* User;
    const char* Password;
    const char* Host;
    int Port;
    const char* Folder;
    const char* File;
    TEncryption Encryption = enPlain;
    TProtocol Protocol = prFtp;
  } cases[] = {
      {"ftpes://host/f", "anonymous", "me@x", "host", 21, "/", "f", enExplicitTls},
      {"FTPS://host/", "anonymous", "me@x", "host", 990, "/", "", enImplicitTls},
      {"ftps://host:21/", "anonymous", "me@x", "host", 21, "/", "", enImplicitTls},
      {"ftp://host/pub/file.zip", "anonymous", "me@x", "host", 21, "/pub/", "file.zip"},
      {"ftp://host", "anonymous", "me@x", "host", 21, "/", ""},
      {"host/a/b/", "anonymous", "me@x", "host", 21, "/a/b/", ""},
      {"ftp://u:pw@host/x", "u", "pw", "host", 21, "/", "x"},
      {"ftp://u:p@ss@host/dir/f", "u", "p@ss", "host", 21, "/dir/", "f"},
      {"ftp://u:@host/", "u", "", "host", 21, "/", ""},
      {"ftp://u:p:w@host/", "u", "p:w", "host", 21, "/", ""},  // a colon in the password
      {"ftp://user@host/", "user", "", "host", 21, "/", ""},
      // A port after the host is the port, with or without a user.
      {"ftp://host:2121/pub/", "anonymous", "me@x", "host", 2121, "/pub/", ""},
      {"ftp://u:p@host:2121/", "u", "p", "host", 2121, "/", ""},
      {"ftp://u:p@[::1]:2121/pub/", "u", "p", "::1", 2121, "/pub/", ""},
      {"ftp://[2001:db8::7]/f.txt", "anonymous", "me@x", "2001:db8::7", 21, "/", "f.txt"},
      {"ftp://u:p@ss@host:21/f", "u", "p@ss", "host", 21, "/", "f"},
      {"ftp://host:99999/", "anonymous", "me@x", "host:99999", 21, "/", ""},  // not a port
      {"ftp://host:/", "anonymous", "me@x", "host:", 21, "/", ""},
      // Decoded once cut into parts: "%2F" starts the absolute path "/etc/".
      {"ftp://me%40example.com:p%3Ass@h/a%20b/f%20x", "me@example.com", "p:ss", "h", 21, "/a b/",
       "f x"},
      {"ftp://host/%2Fetc/motd", "anonymous", "me@x", "host", 21, "//etc/", "motd"},
      {"ftp://host/100%.txt", "anonymous", "me@x", "host", 21, "/", "100%.txt"},
      // SSH has no anonymous log-on: no user is the SSH configuration's or the local one.
      {"sftp://host", "", "", "host", 22, "/", "", enPlain, prSftp},
      {"SFTP://me@host:2222/%2Fsrv/f", "me", "", "host", 2222, "//srv/", "f", enPlain, prSftp},
      {"sftp://u:p@[::1]/docs/", "u", "p", "::1", 22, "/docs/", "", enPlain, prSftp},
  };
  for (const auto& c : cases) {
    const TSplitUrl parts = SplitUrl(c.Url, "me@x");
    EXPECT_EQ(parts.User, c.User) << c.Url;
    EXPECT_EQ(parts.Password, c.Password) << c.Url;
    EXPECT_EQ(parts.Host, c.Host) << c.Url;
    EXPECT_EQ(parts.Port, c.Port) << c.Url;
    EXPECT_EQ(parts.Folder, c.Folder) << c.Url;
    EXPECT_EQ(parts.FileName, c.File) << c.Url;
    EXPECT_EQ(parts.Encryption, c.Encryption) << c.Url;
    EXPECT_EQ(parts.Protocol, c.Protocol) << c.Url;
  }
}

// Addresses Pelmar makes (copied, shown) read back as the path they were made for, and never
// hold a password.
TEST(UrlText, AddressesReadBackAndKeepNoPassword) {
  const struct {
    TServer Server;
    const char* Path;
    const char* Address;
  } made[] = {
      {{.Host = "h", .Port = 21, .User = "anonymous"}, "/pub/a b.txt", "ftp://h/%2Fpub/a%20b.txt"},
      {{.Host = "h", .Port = 2121, .User = "me@x.org"},
       "/x/100%#?.bin",
       "ftp://me%40x.org@h:2121/%2Fx/100%25%23%3F.bin"},
      {{.Host = "::1", .Port = 990, .User = "u", .Encryption = enImplicitTls},
       "rel/f",
       "ftps://u@[::1]/rel/f"},
      {{.Host = "[::1]", .Port = 21, .User = "u", .Encryption = enExplicitTls},
       "/",
       "ftpes://u@[::1]/%2F"},
      {{.Host = "h", .Port = 22, .User = "anonymous", .Protocol = prSftp},
       "/srv/a",
       "sftp://anonymous@h/%2Fsrv/a"},
      {{.Host = "h", .Port = 2222, .User = "", .Protocol = prSftp}, "rel/", "sftp://h:2222/rel/"},
  };
  for (const auto& m : made) {
    EXPECT_EQ(FtpAddress(m.Server, m.Path), m.Address);
    const TSplitUrl parts = SplitUrl(m.Address, "");
    EXPECT_EQ(parts.ServerFolder + parts.FileName, m.Path) << m.Address;
    EXPECT_EQ(parts.User, m.Server.User) << m.Address;
    EXPECT_EQ(parts.Port, m.Server.Port) << m.Address;
    EXPECT_EQ(parts.Protocol, m.Server.Protocol) << m.Address;
  }
  std::string out;
  for (const char* bad : {"%", "a%4", "%zz"}) EXPECT_FALSE(PercentDecode(bad, out)) << bad;
  const struct {
    const char* Address;
    const char* Kept;
  } kept[] = {
      {"ftp://u:p@ss@h/x", "ftp://u@h/x"},
      {"ftp://u:@h/", "ftp://u@h/"},
      {"ftp://u@h/a:b@c", "ftp://u@h/a:b@c"},
      {"http://u:pw@h/", "http://u@h/"},
  };
  for (const auto& k : kept) EXPECT_EQ(UrlDroppingPassword(k.Address), k.Kept);
}

}  // namespace
}  // namespace pelmar
