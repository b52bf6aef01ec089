// dorvan-server on a LAN: hostile requests get the status they must, logins and per-root
// users hold, an unavailable root is said to be so, a runaway search is stopped while the
// server keeps answering, SIGTERM ends it cleanly, and a bad configuration stops the start.
#include <crypt.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <fstream>
#include <future>
#include <iterator>
#include <thread>

#include "reader/unicode_text.h"
#include "server/auth.h"
#include "server/config.h"
#include "tests/server/server_process.h"
#include "tests/support/drawing_writer.h"
#include "tests/support/temp_folder.h"

namespace dorvan {
namespace {

using testing::HttpAnswer;
using testing::ServerProcess;

QJsonObject Json(const HttpAnswer& answer) {
  return QJsonDocument::fromJson(QByteArray::fromStdString(answer.body)).object();
}

std::string FirstId(const HttpAnswer& answer) {
  const QJsonArray found = Json(answer)["found"].toArray();
  return found.isEmpty() ? std::string() : found.first()["id"].toString().toStdString();
}

std::string Root(const std::string& name, const std::string& path, const std::string& extra = {}) {
  return "[[root]]\nname = \"" + name + "\"\npath = \"" + path + "\"\nshown_as = '\\\\nas\\" + name + "'\n" + extra;
}

class ServerSafety : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::DrawingRecipe plan;
    plan.texts = {u"図面番号 A-101", u"ドア"};
    for (const char* name : {"office/plans", "office/slow", "secret", "web/js"}) folder.MakeFolder(name);
    ASSERT_TRUE(testing::WriteDrawingFile(folder.File("office/plans/plan.jww"), plan));
    ASSERT_TRUE(testing::WriteDrawingFile(folder.File("secret/vault.jww"), plan));
    folder.Write("web/index.html", "<!doctype html><title>t</title>");
    folder.Write("web/js/main.js", "'use strict';");
    folder.Write("web/notes.txt", "not served");
    folder.Write("outside.txt", "outside the web folder");
  }
  std::string Index() const { return "index = \"" + folder.File("index.sqlite3") + "\"\n"; }
  testing::TempFolder folder;
};

TEST_F(ServerSafety, HostileRequestsGetTheStatusTheyMust) {
  ServerProcess server(folder.path(), Index() + Root("office", folder.File("office")));
  ASSERT_TRUE(server.Start()) << server.Log();
  const std::string id = FirstId(server.Get("/api/search?text=" + testing::UrlEncoded("図面")));
  ASSERT_EQ(id.size(), 32u);
  const std::string longText(1001, 'a');
  struct Case {
    std::string target;
    int status;
  };
  const std::vector<Case> cases = {
      {"/api/search?text=" + testing::UrlEncoded("図面"), 200},
      {"/api/search", 400},  // no text: the search's own refusal
      {"/api/search?range=everything&text=a", 400},
      {"/api/search?text=a&word=2", 400},
      {"/api/search?text=a&text=b", 400},
      {"/api/search?text=a&colour=red", 400},
      {"/api/search?text=a&limit=0", 400},
      {"/api/search?text=a&limit=abc", 400},
      {"/api/search?text=a&offset=-1", 400},
      {"/api/search?text=a&limit=99999999999999999999", 400},
      {"/api/search?range=version&version=999", 400},
      {"/api/search?range=size&size=A9", 400},
      {"/api/search?range=line-width-base&dpi=1200", 400},
      {"/api/search?text=" + longText, 413},
      {"/api/search?text=%FF%FE", 400},
      {"/api/search?text=%E5%9B", 400},
      {"/api/search?text=%ZZ", 400},
      {"/api/search?text=a%00b", 200},
      {"/api/search?text=a&root=..%2F..", 400},
      {"/api/search?text=a&root=%2Fetc", 400},
      {"/api/search?text=a&root=nosuchroot", 400},
      {"/api/search?text=a&under=..%2F..", 400},
      {"/api/search?text=a&under=%2Fetc", 400},
      {"/api/search?text=a&under=plans%2F..%2F..", 400},
      {"/api/search?text=a&under=plans", 200},
      {"/api/drawing/" + id, 200},
      {"/api/drawing/" + id + "/info", 200},
      {"/api/drawing/" + id + "/thumbnail?size=64", 200},
      {"/api/drawing/" + id + "/picture?width=120&height=80&view=-10,-10,10,10&hide=0-1,2", 200},
      {"/api/drawing/" + id + "/export?format=svg", 200},
      {"/api/drawing/" + std::string(32, '0'), 404},
      {"/api/drawing/" + id.substr(0, 31) + "A", 404},
      {"/api/drawing/../../etc/passwd", 404},
      {"/api/drawing/%2e%2e%2f%2e%2e%2fetc%2fpasswd", 404},
      {"/api/drawing/" + id + "/..%2F..%2Fpasswd", 404},
      {"/api/drawing/" + id + "?path=/etc/passwd", 400},
      {"/api/drawing/" + id + "/thumbnail?size=100000", 400},
      {"/api/drawing/" + id + "/thumbnail?size=../../x", 400},
      {"/api/drawing/" + id + "/picture?width=4097&height=10", 400},
      {"/api/drawing/" + id + "/picture?width=100&height=100&view=1,2,3", 400},
      {"/api/drawing/" + id + "/picture?width=100&height=100&view=0,0,0,0", 400},
      {"/api/drawing/" + id + "/picture?width=100&height=100&view=nan,0,1,1", 400},
      {"/api/drawing/" + id + "/picture?width=100&height=100&hide=g-h", 400},
      {"/api/drawing/" + id + "/export?format=exe", 400},
      {"/api/drawing/" + id + "/export?format=/etc/passwd", 400},
      {"/api/nothing", 404},
      {"/api/status?x=1", 400},
      {"/", 200},
      {"/js/main.js", 200},
      {"/notes.txt", 404},
      {"/../outside.txt", 404},
      {"/%2e%2e/outside.txt", 404},
      {"/js/..%2F..%2Foutside.txt", 404},
      {"/%2Fetc%2Fpasswd", 404},
      {"/api/search?text=" + std::string(9000, 'a'), 413},
  };
  for (const Case& c : cases) {
    HttpAnswer answer = server.Get(c.target);
    EXPECT_EQ(answer.status, c.status) << c.target.substr(0, 120) << "\n" << answer.body.substr(0, 300);
    EXPECT_EQ(answer.headers["x-content-type-options"], "nosniff") << c.target.substr(0, 120);
    EXPECT_EQ(answer.headers["content-security-policy"], "default-src 'self'; frame-ancestors 'none'");
    EXPECT_EQ(answer.headers["referrer-policy"], "no-referrer");
    if (c.target.rfind("/api/", 0) == 0 && answer.status != 200) {
      EXPECT_EQ(answer.headers["content-type"], "application/json; charset=utf-8") << c.target.substr(0, 120);
      EXPECT_FALSE(Json(answer)["error"].toString().isEmpty()) << c.target.substr(0, 120);
      EXPECT_EQ(answer.body.find(folder.path()), std::string::npos) << answer.body;
    }
  }
  // The download names the file as it is called, and the search wrote nothing.
  HttpAnswer download = server.Get("/api/drawing/" + id);
  EXPECT_EQ(download.headers["content-disposition"], "attachment; filename=\"plan.jww\"; filename*=UTF-8''plan.jww");
  EXPECT_EQ(server.Stop(), 0);
}

TEST_F(ServerSafety, LoginsAndPerRootUsersDecideWhatEachUserSees) {
  crypt_data data{};
  char setting[CRYPT_GENSALT_OUTPUT_SIZE];
  ASSERT_NE(crypt_gensalt_rn("$2b$", 4, nullptr, 0, setting, sizeof setting), nullptr);
  const std::string aliceHash = crypt_r("wonderland", setting, &data);
  const std::string bobHash = crypt_r("builder", setting, &data);
  std::ofstream(folder.File("users")) << "# office users\nalice:" << aliceHash << "\nbob:" << bobHash << "\n";
  ServerProcess server(folder.path(), Index() + "[access]\nusers_file = \"" + folder.File("users") + "\"\n" +
                                          Root("office", folder.File("office")) +
                                          Root("secret", folder.File("secret"), "users = [\"alice\"]\n"));
  ASSERT_TRUE(server.Start()) << server.Log();
  auto login = [](const std::string& user, const std::string& password) {
    return "Authorization: Basic " +
           QByteArray::fromStdString(user + ":" + password).toBase64().toStdString() + "\r\n";
  };
  const std::string alice = login("alice", "wonderland");
  const std::string bob = login("bob", "builder");
  const std::string search = "/api/search?text=" + testing::UrlEncoded("図面");

  EXPECT_EQ(server.Get("/api/health").status, 200);
  HttpAnswer anonymous = server.Get(search);
  EXPECT_EQ(anonymous.status, 401);
  EXPECT_EQ(anonymous.headers["www-authenticate"], "Basic realm=\"dorvan\", charset=\"UTF-8\"");
  EXPECT_EQ(server.Get("/", "").status, 401);
  EXPECT_EQ(server.Get(search, login("bob", "wrong")).status, 401);
  EXPECT_EQ(server.Get(search, login("mallory", "builder")).status, 401);
  EXPECT_EQ(server.Get(search, "Authorization: Basic !!!\r\n").status, 401);

  const HttpAnswer bobs = server.Get(search, bob);
  ASSERT_EQ(bobs.status, 200);
  EXPECT_EQ(Json(bobs)["total"].toInt(), 1);  // the secret root's drawing is not even counted
  EXPECT_EQ(server.Get(search + "&root=secret", bob).status, 400);
  const HttpAnswer alices = server.Get(search + "&root=secret", alice);
  ASSERT_EQ(alices.status, 200);
  EXPECT_EQ(Json(alices)["total"].toInt(), 1);
  const std::string secretId = FirstId(alices);
  EXPECT_EQ(server.Get("/api/drawing/" + secretId, alice).status, 200);
  EXPECT_EQ(server.Get("/api/drawing/" + secretId, bob).status, 404);
  EXPECT_EQ(Json(server.Get("/api/status", bob))["roots"].toArray().size(), 1);
  EXPECT_EQ(Json(server.Get("/api/status", alice))["roots"].toArray().size(), 2);
  EXPECT_NE(server.Log().find(" bob GET /api/search 200 "), std::string::npos) << server.Log();
}

TEST_F(ServerSafety, AnUnavailableRootIsSaidToBeSoAndItsDrawingsComeBackWithIt) {
  ServerProcess server(folder.path(), Index() + Root("office", folder.File("office")) +
                                          Root("share", folder.File("share")));
  ASSERT_TRUE(server.Start()) << server.Log();
  const std::string search = "/api/search?text=" + testing::UrlEncoded("図面");
  auto states = [&] {
    std::string text;
    for (const QJsonValue& root : Json(server.Get("/api/status"))["roots"].toArray()) {
      text += root["name"].toString().toStdString() + ":" + root["state"].toString().toStdString() + " ";
    }
    return text;
  };
  auto waitFor = [&](const std::string& wanted) {
    for (int i = 0; i < 200 && states() != wanted; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return states();
  };
  EXPECT_EQ(waitFor("office:watching share:unavailable "), "office:watching share:unavailable ");
  EXPECT_NE(server.Log().find("is unavailable (No such file or directory)"), std::string::npos) << server.Log();
  QJsonObject answer = Json(server.Get(search));
  EXPECT_EQ(answer["unavailable"].toArray(), QJsonArray{"share"});
  EXPECT_EQ(answer["total"].toInt(), 1);
  const HttpAnswer only = server.Get(search + "&root=share");
  EXPECT_EQ(only.status, 503);
  EXPECT_EQ(Json(only)["unavailable"].toArray(), QJsonArray{"share"});

  folder.MakeFolder("share");
  testing::DrawingRecipe shared;
  shared.texts = {u"図面 shared"};
  ASSERT_TRUE(testing::WriteDrawingFile(folder.File("share/shared.jww"), shared));
  EXPECT_EQ(waitFor("office:watching share:watching "), "office:watching share:watching ");
  EXPECT_EQ(Json(server.Get(search))["total"].toInt(), 2);

  // Unmounted: reported, its entries kept for its return.
  ASSERT_EQ(std::rename(folder.File("share").c_str(), folder.File("share.away").c_str()), 0);
  answer = Json(server.Get(search));
  EXPECT_EQ(answer["unavailable"].toArray(), QJsonArray{"share"});
  EXPECT_EQ(answer["total"].toInt(), 1);
  ASSERT_EQ(std::rename(folder.File("share.away").c_str(), folder.File("share").c_str()), 0);
  EXPECT_EQ(waitFor("office:watching share:watching "), "office:watching share:watching ");
  EXPECT_EQ(Json(server.Get(search))["total"].toInt(), 2);

  // Away during a whole run (a share mounted after the server started): its drawings are
  // still in the lists that run saves.
  EXPECT_EQ(server.Stop(), 0);
  ASSERT_EQ(std::rename(folder.File("share").c_str(), folder.File("share.away").c_str()), 0);
  ASSERT_TRUE(server.Start()) << server.Log();
  EXPECT_EQ(waitFor("office:watching share:unavailable "), "office:watching share:unavailable ");
  EXPECT_EQ(server.Stop(), 0);
  std::ifstream lists(folder.File("index.sqlite3.roots"), std::ios::binary);
  const std::string saved((std::istreambuf_iterator<char>(lists)), std::istreambuf_iterator<char>());
  EXPECT_NE(saved.find("shared.jww"), std::string::npos);
}

TEST_F(ServerSafety, ARunawaySearchIsStoppedWhileTheServerAnswersAndSigtermEndsItCleanly) {
  // Texts on which a nested quantifier backtracks to the match limit, in many drawings.
  for (int d = 0; d < 40; ++d) {
    testing::DrawingRecipe slow;
    for (int i = 0; i < 200; ++i) {
      slow.texts.push_back(std::u16string(28, u'a') + u"!" + Utf8ToUtf16(std::to_string(d * 1000 + i)));
    }
    ASSERT_TRUE(testing::WriteDrawingFile(folder.File("office/slow/s" + std::to_string(d) + ".jww"), slow));
  }
  ServerProcess server(folder.path(), Index() + "[limits]\nsearch_seconds = 2\n" + Root("office", folder.File("office")));
  ASSERT_TRUE(server.Start()) << server.Log();
  // (Compared in the normalised form: full-width capitals.)
  const std::string runaway = "/api/search?regex=1&text=" + testing::UrlEncoded("^(Ａ+)+$");
  auto started = std::chrono::steady_clock::now();
  std::future<HttpAnswer> search = std::async(std::launch::async, [&] { return server.Get(runaway); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(server.Get("/api/health").status, 200);
  const HttpAnswer stopped = search.get();
  EXPECT_EQ(stopped.status, 503) << stopped.body;
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));

  // SIGTERM during a search: the search is answered or refused, the program ends at once
  // after at most 5 s, and the index serves the next start.
  search = std::async(std::launch::async, [&] { return server.Get(runaway); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  started = std::chrono::steady_clock::now();
  EXPECT_EQ(server.Stop(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(8));
  const HttpAnswer interrupted = search.get();
  EXPECT_TRUE(interrupted.status == 503 || interrupted.status == 0) << interrupted.status;
  ASSERT_TRUE(server.Start()) << server.Log();
  EXPECT_EQ(Json(server.Get("/api/search?text=" + testing::UrlEncoded("図面")))["total"].toInt(), 1);
}

TEST(ServerConfig, AProblemStopsTheStartWithOneLineNamingTheFileAndLine) {
  struct Case {
    std::string text;
    std::string error;  // empty: accepted
  };
  const std::string root = "[[root]]\nname = \"office\"\npath = \"/srv/drawings\"\nshown_as = '\\\\nas\\図面'\n";
  const std::vector<Case> cases = {
      {root, ""},
      {"listen = \"[::1]:8730\"\n" + root, ""},
      {"listen = \"0.0.0.0:8730\"\n" + root + "rescan_minutes = 5\nusers = []\n", ""},
      {"listen = \n" + root, "s.toml:1: "},
      {"colour = 1\n" + root, "s.toml:1: unknown key \"colour\""},
      {root + "size = 3\n", "s.toml:5: unknown key \"size\" in [[root]]"},
      {"listen = \"localhost\"\n" + root, "s.toml:1: \"listen\" must be an address"},
      {"listen = \"127.0.0.1:70000\"\n" + root, "s.toml:1: \"listen\" must be an address"},
      {"listen = \"nas.local:8730\"\n" + root, "s.toml:1: \"listen\" must be an address"},
      {"index = \"/tmp/i\"\n", "s.toml: no archive folder"},
      {"[[root]]\nname = \"x\"\n", "s.toml:1: missing key \"path\""},
      {"[[root]]\nname = \"a b\"\npath = \"/x\"\n", "s.toml:2: a root's name must be"},
      {"[[root]]\nname = \"x\"\npath = \"relative\"\n", "s.toml:3: a root's path must be absolute"},
      {root + root, "s.toml:6: two roots are named \"office\""},
      {root + "rescan_minutes = 0\n", "s.toml:5: \"rescan_minutes\" must be a whole number from 1"},
      {"listen = \"0.0.0.0:8730\"\n[access]\nusers_file = \"/etc/dorvan/users\"\n" + root,
       "s.toml:2: [access] sends passwords, so it needs [tls]"},
      {root + "users = [\"alice\"]\n", "s.toml:1: root \"office\" names users, but there is no [access] users_file"},
      {"[tls]\ncertificate = \"/c.pem\"\n" + root, "s.toml:1: missing key \"key\""},
  };
  for (const Case& c : cases) {
    std::string error;
    const auto config = server::ParseConfig(c.text, "s.toml", error);
    if (c.error.empty()) {
      EXPECT_TRUE(config.has_value()) << c.text << "\n" << error;
    } else {
      EXPECT_FALSE(config.has_value()) << c.text;
      EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.text << "\n" << error;
      EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
  }
  // The program itself: exit status 2 and the one line.
  testing::TempFolder folder;
  std::ofstream(folder.File("bad.toml")) << "colour = 1\n" << root;
  std::string errorText;
  EXPECT_EQ(testing::RunServerProgram({"--config", folder.File("bad.toml")}, errorText), 2);
  EXPECT_EQ(errorText, "dorvan-server: " + folder.File("bad.toml") + ":1: unknown key \"colour\"\n");
}

}  // namespace
}  // namespace dorvan
