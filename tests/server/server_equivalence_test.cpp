// What dorvan-server answers is what dorvan-search --no-index answers over the same
// folder: every request of the equivalence table the index's test runs too, before and
// after drawings are edited, added, deleted and renamed while the server runs, and after
// a restart.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <cstdio>
#include <thread>

#include "cli/cli_options.h"
#include "reader/unicode_text.h"
#include "tests/server/server_process.h"
#include "tests/support/drawing_writer.h"
#include "tests/support/equivalence_requests.h"
#include "tests/support/temp_folder.h"

namespace dorvan {
namespace {

using testing::DrawingRecipe;

struct Request {
  std::string label;
  std::string range = "data";
  std::string text;
  bool word = false, caseSensitive = false, pattern = false;
  std::string version, size, dpi;
};

// The index's equivalence table in the server's terms, and the refusals, which the server
// answers apart.
std::vector<Request> Requests() {
  std::vector<Request> requests;
  for (const testing::EquivalenceRequest& shared : testing::EquivalenceRequests()) {
    Request request{shared.label, std::string(cli::RangeName(shared.range)), Utf16ToUtf8(shared.text),
                    shared.word, shared.caseSensitive, shared.pattern};
    if (shared.versionIndex >= 0) request.version = kVersionItems[shared.versionIndex];
    if (shared.sizeIndex >= 0) request.size = kSizeItems[shared.sizeIndex];
    if (shared.range == RangeLineWidthBase) request.dpi = shared.dpi300 ? "300" : "600";
    requests.push_back(std::move(request));
  }
  requests.push_back({"data, no text (refused)", "data", ""});
  requests.push_back({"data, malformed pattern (refused)", "data", "(", false, false, true});
  requests.push_back({"version, none chosen (refused)", "version"});
  return requests;
}

std::string Query(const Request& request) {
  std::string query = "/api/search?limit=1000&range=" + request.range + "&text=" + testing::UrlEncoded(request.text);
  if (request.word) query += "&word=1";
  if (request.caseSensitive) query += "&case=1";
  if (request.pattern) query += "&regex=1";
  if (!request.version.empty()) query += "&version=" + request.version;
  if (!request.size.empty()) query += "&size=" + request.size;
  if (!request.dpi.empty()) query += "&dpi=" + request.dpi;
  return query;
}

// dorvan-search --no-index --json --matches over `folder`: its standard output.
std::string SearchByReading(const Request& request, const std::string& folder) {
  std::vector<std::string> arguments = {"dorvan-search", "--no-index", "--json", "--matches", "--range", request.range,
                                        "--text", request.text};
  if (request.word) arguments.push_back("--word");
  if (request.caseSensitive) arguments.push_back("--case");
  if (request.pattern) arguments.push_back("--regex");
  if (!request.version.empty()) arguments.insert(arguments.end(), {"--version", request.version});
  if (!request.size.empty()) arguments.insert(arguments.end(), {"--size", request.size});
  if (!request.dpi.empty()) arguments.insert(arguments.end(), {"--dpi", request.dpi});
  arguments.push_back(folder);
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(pipeFds[1], STDOUT_FILENO);
    freopen("/dev/null", "w", stderr);
    close(pipeFds[0]);
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    execv(DORVAN_SEARCH_PROGRAM, argv.data());
    _exit(127);
  }
  close(pipeFds[1]);
  std::string out;
  char buffer[65536];
  for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) out.append(buffer, static_cast<std::size_t>(n));
  close(pipeFds[0]);
  waitpid(pid, nullptr, 0);
  return out;
}

QJsonObject Parse(const std::string& text) {
  return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
}

// The differences between the two answers, empty when they agree.
std::string Differences(const std::string& byReading, const testing::HttpAnswer& served, const std::string& folder) {
  const QJsonObject read = Parse(byReading);
  const QJsonObject server = Parse(served.body);
  if (read.isEmpty() || server.isEmpty()) return "no JSON: " + byReading + " / " + served.body;
  std::string out;
  auto differ = [&out](const std::string& what, const QJsonValue& a, const QJsonValue& b) {
    if (a != b) {
      out += what + ": " + QJsonDocument(QJsonArray{a}).toJson(QJsonDocument::Compact).toStdString() + " != " +
             QJsonDocument(QJsonArray{b}).toJson(QJsonDocument::Compact).toStdString() + "\n";
    }
  };
  differ("message", read["message"], server["message"]);
  if (server["refused"].toBool()) {
    if (served.status != 400) out += "a refusal answered " + std::to_string(served.status) + "\n";
    differ("found", read["found"], QJsonArray());
    return out;
  }
  if (served.status != 200) out += "status " + std::to_string(served.status) + "\n";
  differ("code", read["code"], server["code"]);
  const QString base = QString::fromStdString(folder + "/");
  QJsonArray found;
  QJsonArray matches;
  for (const QJsonValue& drawing : server["found"].toArray()) {
    found.append(base + drawing["path"].toString());
    matches.append(QJsonObject{{"path", base + drawing["path"].toString()},
                               {"total", drawing["total"]},
                               {"items", drawing["items"]}});
  }
  differ("found", read["found"], found);
  differ("total", read["found"].toArray().size(), server["total"]);
  differ("matches", read["matches"], matches);
  QJsonArray unreadable;
  for (const QJsonValue& drawing : server["unreadable"].toArray()) unreadable.append(base + drawing["path"].toString());
  differ("unreadable", read["unreadable"], unreadable);
  return out;
}

class ServerEquivalence : public ::testing::Test {
 protected:
  void SetUp() override {
    archive = folder.MakeFolder("archive");
    folder.MakeFolder("archive/a");
    folder.MakeFolder("archive/b");
    const DrawingRecipe plan = testing::EquivalencePlan();
    ASSERT_TRUE(testing::WriteDrawingFile(folder.File("archive/a/plan.jww"), plan));
    ASSERT_TRUE(testing::WriteDrawingFile(folder.File("archive/a/Door.jww"), testing::EquivalenceDoor()));
    ASSERT_TRUE(testing::WriteDrawingFile(folder.File("archive/b/old.jww"), testing::EquivalenceOld()));
    const std::string planBytes = testing::WriteDrawing(plan);
    for (std::size_t cut : {std::size_t{40}, planBytes.size() / 2}) {
      ASSERT_TRUE(testing::WriteBytesFile(folder.File("archive/b/cut" + std::to_string(cut) + ".JWW"),
                                          planBytes.substr(0, cut)));
    }
    ASSERT_TRUE(testing::WriteBytesFile(folder.File("archive/a/broken.jww"), "JwwData.garbage"));
    ASSERT_TRUE(testing::WriteBytesFile(folder.File("archive/a/empty.jww"), ""));
    ASSERT_TRUE(testing::WriteBytesFile(folder.File("archive/a/notes.txt"), "図面番号"));
  }

  std::string Config() const {
    return "index = \"" + folder.File("index.sqlite3") + "\"\n[[root]]\nname = \"office\"\npath = \"" + archive +
           "\"\nshown_as = '\\\\nas\\図面'\n";
  }

  void ExpectEveryRequestAsRead(const testing::ServerProcess& server, const std::string& pass) {
    for (const Request& request : Requests()) {
      EXPECT_EQ(Differences(SearchByReading(request, archive), server.Get(Query(request)), archive), "")
          << pass << ": " << request.label;
    }
  }

  // Waits until the server answers the first request as reading does (the watcher has
  // seen the changes); false after 10 s.
  bool WaitForWatcher(const testing::ServerProcess& server) {
    const Request request = Requests().front();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      if (Differences(SearchByReading(request, archive), server.Get(Query(request)), archive).empty()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

  testing::TempFolder folder;
  std::string archive;
};

TEST_F(ServerEquivalence, EveryRequestIsAnsweredAsReadingAnswersItBeforeAndAfterChangesAndARestart) {
  testing::ServerProcess server(folder.path(), Config());
  ASSERT_TRUE(server.Start()) << server.Log();
  ExpectEveryRequestAsRead(server, "at start");

  DrawingRecipe edited;
  edited.texts = {u"図面番号 EDITED"};
  ASSERT_TRUE(testing::WriteDrawingFile(folder.File("archive/a/plan.jww"), edited));
  DrawingRecipe added;
  added.texts = {u"図面番号 NEW", u"door"};
  folder.MakeFolder("archive/b/deeper");
  ASSERT_TRUE(testing::WriteDrawingFile(folder.File("archive/b/deeper/new.jww"), added));
  ASSERT_EQ(::unlink(folder.File("archive/b/old.jww").c_str()), 0);
  ASSERT_EQ(std::rename(folder.File("archive/b/cut40.JWW").c_str(), folder.File("archive/b/Cut.jww").c_str()), 0);
  ASSERT_TRUE(WaitForWatcher(server)) << server.Log();
  ExpectEveryRequestAsRead(server, "after changes in a folder");

  // A folder renamed: its drawings move in the walk order.
  ASSERT_EQ(std::rename(folder.File("archive/a").c_str(), folder.File("archive/c").c_str()), 0);
  ASSERT_TRUE(WaitForWatcher(server)) << server.Log();
  ExpectEveryRequestAsRead(server, "after a folder was renamed");

  // Once the drawings have been left alone long enough their entries are kept, and a
  // restart rules drawings out by the signatures it takes from the index.
  std::this_thread::sleep_for(std::chrono::milliseconds(2200));
  ExpectEveryRequestAsRead(server, "once every drawing has been quiet");
  EXPECT_EQ(server.Stop(), 0);
  ASSERT_TRUE(server.Start()) << server.Log();
  ExpectEveryRequestAsRead(server, "after a restart");
}

}  // namespace
}  // namespace dorvan
