// The tracker dialogues over WinINet against stand-in trackers of our own
// (tests/peers/tracker_peer.py): session cookies, redirects, forms and the archive
// as the trackers' pages carry them. The seeded reports (tests/data/trackers):
// AAAA-0001 open at counter 7 (its title holds entity text and quotes), BBBB-0002
// at 9999, CCCC-0003 closed, and a report that only mentions EEEE-0005 in its text.
#include "exclog/sending/EWebMethods_win.h"

#include <gtest/gtest.h>

#include "exclog/core/EZip.h"
#include "exclog/sending/ESendMethods.h"
#include "exclog/sending/EWebPeers_win_test.h"
#include "exclog/sending/EWebScripted_test.h"
#include "exclog/sending/EWebTrackers.h"

namespace exclog::test {
namespace {

struct TTrackerPeer : TPeer {
  explicit TTrackerPeer(const std::string& kind)
      : TPeer("tracker_peer.py", "--kind " + kind + " --log '{dir}/log' --state '{dir}/state' --seed '" +
                                     std::string(VELMORA_SOURCE_DIR) + "/tests/data/trackers/seed.json'") {}
  std::string State() const { return ReadAll(Host("state")); }
};

class TrackerDialogues : public ::testing::Test {
 protected:
  void SetUp() override { InstallWebMethods(nullptr); }
  void TearDown() override { SendMethodSeams() = TSendMethodSeams{}; }

  // One dialogue through the pipeline's seam; the archive is a real zip.
  int Send(int mode, const TPeer& peer, const std::string& bugId, const std::string& password = "pw",
           const std::string& trialId = "") {
    const std::string text = peer.Host("report.txt");
    {
      std::ofstream out(text, std::ios::binary);
      out << "Exception: Boom\r\n";
    }
    const std::string archive = peer.Host("BugReport.zip");
    ZipFiles(archive, "", {text});
    TWebRequest r;
    r.Mode = mode;
    r.Url = "http://127.0.0.1:" + std::to_string(peer.Port()) + "/tracker/";
    r.TrackerLogin = "ann";
    r.TrackerPassword = password;
    r.AssignedTo = "Bob";
    r.Project = "Velmora";
    r.Category = "Crashes";
    r.Version = "2.1";
    r.Text = "Boom";
    r.Description = "Read of address 00000010";
    r.BugId = bugId;
    r.Fields = TrackerFieldLines({"Custom=1"}, trialId, "Windows 7", "7601", "Click Help");
    r.Attachments = {archive};
    TTrackerAnswer answer;
    return CallSendToTracker(r, answer);
  }

  // The cases every tracker shares; `kind` names the peer.
  void EveryCase(int mode, const std::string& kind) {
    TTrackerPeer peer(kind);
    ASSERT_GT(peer.Port(), 0);
    EXPECT_EQ(Send(mode, peer, "FFFF-0006", "wrong"), TrackerLoginFailed);

    EXPECT_EQ(Send(mode, peer, "FFFF-0006"), TrackerOk);
    std::string state = peer.State();
    EXPECT_TRUE(Has(state, "\"title\": \"[v2.1 - 1]: Boom (FFFF-0006)\"")) << state;
    EXPECT_TRUE(Has(state, "\"name\": \"BugReport.zip\"") && Has(state, "\"zip_ok\": true")) << state;

    EXPECT_EQ(Send(mode, peer, "AAAA-0001"), TrackerOk);
    // The title goes back as the page shows it, its entities decoded once.
    EXPECT_TRUE(Has(peer.State(), "\"title\": \"[v2.1 - 8]: Boom &lt;b&gt; & \\\"q\\\" (AAAA-0001)\""))
        << peer.State();

    const size_t before = peer.Requests().size();
    EXPECT_EQ(Send(mode, peer, "BBBB-0002"), TrackerOk);
    EXPECT_TRUE(Has(peer.State(), "\"title\": \"[v2.1 - 9999]: Boom (BBBB-0002)\""));
    for (size_t i = before; i < peer.Requests().size(); ++i)
      EXPECT_FALSE(Has(peer.Requests()[i], "\"method\": \"POST\"") && Has(peer.Requests()[i], "9999")) << i;

    EXPECT_EQ(Send(mode, peer, "CCCC-0003"), TrackerClosed);
    EXPECT_TRUE(Has(peer.State(), "\"title\": \"[v2.1 - 3]: Boom (CCCC-0003)\""));

    // A hit that only mentions the ID is another report: a new one is entered.
    EXPECT_EQ(Send(mode, peer, "EEEE-0005"), TrackerOk);
    state = peer.State();
    EXPECT_TRUE(Has(state, "\"title\": \"Boom somewhere else\"")) << state;
    EXPECT_TRUE(Has(state, "\"title\": \"[v2.1 - 1]: Boom (EEEE-0005)\"")) << state;
  }
};

TEST_F(TrackerDialogues, Mantis) { EveryCase(6, "mantis"); }

TEST_F(TrackerDialogues, Bugzilla) { EveryCase(4, "bugzilla"); }

TEST_F(TrackerDialogues, FogBugzSendsTheTrialIdOnlyWhenSet) {
  EveryCase(5, "fogbugz");
  TTrackerPeer peer("fogbugz");
  ASSERT_GT(peer.Port(), 0);
  EXPECT_EQ(Send(5, peer, "FFFF-0006", "pw", "TRIAL-9"), TrackerOk);
  std::vector<std::string> log = peer.Requests();
  ASSERT_FALSE(log.empty());
  EXPECT_TRUE(Has(log[0], "\"ID\": \"TRIAL-9\"")) << log[0];
  EXPECT_EQ(Send(5, peer, "FFFF-0007"), TrackerOk);
  int logons = 0, logonsWithId = 0;
  for (const auto& line : peer.Requests())
    if (Has(line, "preLogon")) {
      ++logons;
      logonsWithId += Has(line, "\"ID\":");
    }
  EXPECT_EQ(logons, 2);
  EXPECT_EQ(logonsWithId, 1);
}

}  // namespace
}  // namespace exclog::test
