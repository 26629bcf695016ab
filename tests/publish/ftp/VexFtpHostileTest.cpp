// The FTP client against a scripted server that misbehaves in every way the
// protocol allows and some it does not. Each scenario must end in its
// expected outcome within its time-out and leave the client usable.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QThread>
#include <functional>
#include <optional>

#include "support/QtPrint.h"
#include "support/ScriptedFtpServer.h"
#include "publish/EventWait.h"
#include "publish/FtpErrors.h"
#include "publish/ftp/VexFTP.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

using test::Actions;
using test::ScriptedFtpServer;
using test::ServerScript;

constexpr int kTimeOut = 1000;
// A time-out scenario ends after about kTimeOut; everything else at once.
constexpr int kEndsWithin = 3 * kTimeOut;

enum class Operation { Connect, Upload, Disconnect };

enum class Outcome { Success, SockError, AbortError, FtpError };

struct Scenario {
    const char* name;
    std::function<void(ServerScript&)> script;
    Operation operation;
    Outcome outcome;
    QByteArray failure = {};            // the server's reply, or the failure's text
    QList<QByteArray> transcript = {};  // lines the server got, PORT arguments as "*"
    QList<QByteArray> protocolLines = {};  // level-1 status texts; checked when not empty
    bool handleFailure = false;       // an OnFailure handler that sets handled
    int unsupportedEvents = 0;
    qsizetype fileSize = 3000;
    bool dataWhole = false;           // the file arrived byte for byte
    bool passive = false;
    bool tls = false;
    QByteArray explanation = {};  // what an FTPException says before the reply
    int endsWithinMs = kEndsWithin;
    bool intruderRefused = false;  // another peer on the data port was closed
};

void PrintTo(const Scenario& s, std::ostream* os) { *os << s.name; }

// A file with every byte value, CR LF pairs and zero bytes among them.
QByteArray binaryContent(qsizetype size)
{
    QByteArray bytes;
    bytes.reserve(size);
    for (qsizetype i = 0; bytes.size() < size; ++i) {
        bytes += char(i % 251);
        if (i % 97 == 0) bytes += "\r\n";
        if (i % 89 == 0) bytes += '\0';
    }
    bytes.truncate(size);
    return bytes;
}

// PORT carries the client's address and a port the system chose.
QList<QByteArray> canonical(QList<QByteArray> lines)
{
    static const QRegularExpression port(QStringLiteral("^PORT 127,0,0,1,\\d+,\\d+$"));
    for (QByteArray& line : lines)
        if (port.match(QString::fromLatin1(line)).hasMatch()) line = "PORT 127,0,0,1,*";
    return lines;
}

const QList<QByteArray> kLogin = {"USER alice", "PASS secret", "TYPE I"};
const QList<QByteArray> kUpload = {"USER alice", "PASS secret", "TYPE I", "PORT 127,0,0,1,*",
                                   "STOR pub/index.htm"};
const QList<QByteArray> kPassiveUpload = {"USER alice", "PASS secret", "TYPE I", "EPSV",
                                          "STOR pub/index.htm"};
const QList<QByteArray> kPasvUpload = {"USER alice", "PASS secret", "TYPE I", "EPSV", "PASV",
                                       "STOR pub/index.htm"};

QList<QByteArray> greetingStatus(const QList<QByteArray>& greeting)
{
    return greeting + QList<QByteArray>{"331 Password required\r\n", "PASS ", "230 Logged in\r\n",
                                        "200 Type set to I\r\n"};
}

QByteArray joined(const QList<QByteArray>& lines) { return lines.join(QByteArray()); }

QList<QByteArray> manyContinuationLines()
{
    QList<QByteArray> lines;
    for (int i = 0; i < 200; ++i) lines << "220-line " + QByteArray::number(i) + "\r\n";
    lines << "220 ready\r\n";
    return lines;
}

const QByteArray kLongLine = "220 " + QByteArray(17 * 1024, 'w') + "\r\n";

void greet(ServerScript& s, const QList<QByteArray>& lines)
{
    s.greeting = {test::send(joined(lines))};
}

std::vector<Scenario> scenarios()
{
    using namespace test;
    std::vector<Scenario> list = {
        {"GreetingDrippedOneByteAtATime",
         [](ServerScript& s) { s.greeting = {drip("220-Slow\r\n server\r\n220 ready\r\n")}; },
         Operation::Upload, Outcome::Success, {}, kUpload, {}, false, 0, 3000, true},

        {"ContinuedByALineBeginningWithASpace",
         [](ServerScript& s) { greet(s, {"220-Welcome\r\n", " more\r\n", "220 Ready\r\n"}); },
         Operation::Connect, Outcome::Success, {}, kLogin,
         greetingStatus({"220-Welcome\r\n", " more\r\n", "220 Ready\r\n"})},

        // RFC 959: a reply opened by "220-" ends at "220 ", whatever lies
        // between; the first line without space or dash does not end it.
        {"AFreeTextLineInsideAMultiLineGreeting",
         [](ServerScript& s) {
             greet(s, {"220-Welcome\r\n", "Please behave.\r\n", "220 Ready\r\n"});
         },
         Operation::Connect, Outcome::Success, {}, kLogin,
         greetingStatus({"220-Welcome\r\n", "Please behave.\r\n", "220 Ready\r\n"})},

        {"AnotherCodeDoesNotCloseAMultiLineReply",
         [](ServerScript& s) {
             greet(s, {"220-a\r\n", "230 b\r\n", "220-c\r\n", "220 d\r\n"});
             s.onCommand["USER"] = {send("331-Password\r\n"), send("required\r\n"),
                                    send("331 now\r\n")};
         },
         Operation::Connect, Outcome::Success, {}, kLogin,
         {"220-a\r\n", "230 b\r\n", "220-c\r\n", "220 d\r\n", "331-Password\r\n",
          "required\r\n", "331 now\r\n", "PASS ", "230 Logged in\r\n",
          "200 Type set to I\r\n"}},

        // Without a code to close on, the reply ends at the first line that
        // neither starts with a space nor has a dash fourth.
        {"ContinuedBySpacesBeforeAnyCode",
         [](ServerScript& s) {
             greet(s, {" Welcome\r\n", " to the server\r\n", "220 Ready\r\n"});
         },
         Operation::Connect, Outcome::Success, {}, kLogin,
         greetingStatus({" Welcome\r\n", " to the server\r\n", "220 Ready\r\n"})},

        {"AGreetingOf120ThenTheGreetingProper",
         [](ServerScript& s) {
             greet(s, {"120 Ready in a moment\r\n", "220 Ready\r\n"});
         },
         Operation::Connect, Outcome::Success, {}, kLogin,
         greetingStatus({"120 Ready in a moment\r\n", "220 Ready\r\n"})},

        {"AGreetingOf421ShowsTheServersText",
         [](ServerScript& s) {
             s.greeting = {send("421 Too many connections, try later.\r\n"), closeControl()};
         },
         Operation::Connect, Outcome::FtpError, "421 Too many connections, try later.\r\n", {}},

        {"ContinuedByDashLines",
         [](ServerScript& s) { greet(s, {"220-a\r\n", "220-b\r\n", "220-c\r\n", "220 d\r\n"}); },
         Operation::Connect, Outcome::Success, {}, kLogin,
         greetingStatus({"220-a\r\n", "220-b\r\n", "220-c\r\n", "220 d\r\n"})},

        {"AShortLineInsideAMultiLineGreeting",
         [](ServerScript& s) { greet(s, {"220-x\r\n", "22\n", "220\r\n"}); },
         Operation::Connect, Outcome::Success, {}, kLogin,
         greetingStatus({"220-x\r\n", "22\n", "220\r\n"})},

        {"LinesEndingInLineFeedAlone",
         [](ServerScript& s) {
             greet(s, {"220-Welcome\n", "220 Ready\n"});
             s.onCommand["USER"] = {send("331 Password required\n")};
             s.onCommand["PASS"] = {send("230 Logged in\n")};
             s.onCommand["TYPE"] = {send("200 Type set to I\n")};
         },
         Operation::Connect, Outcome::Success, {}, kLogin,
         {"220-Welcome\n", "220 Ready\n", "331 Password required\n", "PASS ", "230 Logged in\n",
          "200 Type set to I\n"}},

        {"ALineOf17Kilobytes", [](ServerScript& s) { greet(s, {kLongLine}); }, Operation::Connect,
         Outcome::Success, {}, kLogin, greetingStatus({kLongLine})},

        {"TwoHundredContinuationLines", [](ServerScript& s) { greet(s, manyContinuationLines()); },
         Operation::Connect, Outcome::Success, {}, kLogin,
         greetingStatus(manyContinuationLines())},

        {"PasswordRefused",
         [](ServerScript& s) { s.onCommand["PASS"] = {send("530 Login incorrect.\r\n")}; },
         Operation::Connect, Outcome::FtpError, "530 Login incorrect.\r\n",
         {"USER alice", "PASS secret", "QUIT"}},

        {"UserAnsweredWith230",
         [](ServerScript& s) { s.onCommand["USER"] = {send("230 No password needed\r\n")}; },
         Operation::Connect, Outcome::Success, {}, {"USER alice", "TYPE I"}},

        {"UserRefused",
         [](ServerScript& s) { s.onCommand["USER"] = {send("530 Not allowed\r\n")}; },
         Operation::Connect, Outcome::FtpError, "530 Not allowed\r\n", {"USER alice", "QUIT"}},

        {"ImageTypeRefused",
         [](ServerScript& s) { s.onCommand["TYPE"] = {send("504 Type not supported\r\n")}; },
         Operation::Connect, Outcome::FtpError, "504 Type not supported\r\n",
         {"USER alice", "PASS secret", "TYPE I", "QUIT"}},

        {"PortRefused",
         [](ServerScript& s) { s.onCommand["PORT"] = {send("500 Illegal PORT command.\r\n")}; },
         Operation::Upload, Outcome::FtpError, "500 Illegal PORT command.\r\n",
         {"USER alice", "PASS secret", "TYPE I", "PORT 127,0,0,1,*"}, {}, false, 0, 3000, false,
         false, false, "The server refused active mode (try passive mode)"},

        {"PortRefusedAndHandled",
         [](ServerScript& s) { s.onCommand["PORT"] = {send("500 Illegal PORT command.\r\n")}; },
         Operation::Upload, Outcome::Success, {}, kUpload, {}, true, 0, 3000, true},

        {"StorRefused",
         [](ServerScript& s) { s.onCommand["STOR"] = {send("553 Could not create file.\r\n")}; },
         Operation::Upload, Outcome::FtpError, "553 Could not create file.\r\n", kUpload},

        {"StorRefusedAndHandled",
         [](ServerScript& s) {
             s.onCommand["STOR"] = {send("553 Could not create file.\r\n"), connectData(),
                                    replyAfterData("226 Stored all the same\r\n")};
         },
         Operation::Upload, Outcome::Success, {}, kUpload, {}, true, 0, 3000, true},

        {"StorUnsupported500",
         [](ServerScript& s) { s.onCommand["STOR"] = {send("500 Unknown command\r\n")}; },
         Operation::Upload, Outcome::FtpError, "500 Unknown command\r\n", kUpload, {}, false, 1},

        {"StorUnsupported502",
         [](ServerScript& s) { s.onCommand["STOR"] = {send("502 Not implemented\r\n")}; },
         Operation::Upload, Outcome::FtpError, "502 Not implemented\r\n", kUpload, {}, false, 1},

        {"StorRefused503IsNoUnsupportedFunction",
         [](ServerScript& s) { s.onCommand["STOR"] = {send("503 Bad sequence\r\n")}; },
         Operation::Upload, Outcome::FtpError, "503 Bad sequence\r\n", kUpload, {}, false, 0},

        {"Reply125InsteadOf150",
         [](ServerScript& s) {
             s.onCommand["STOR"] = {send("125 Data connection already open\r\n"), connectData(),
                                    replyAfterData("226 Transfer complete\r\n")};
         },
         Operation::Upload, Outcome::Success, {}, kUpload, {}, false, 0, 3000, true},

        {"ConnectsBackAtPortBeforeStor",
         [](ServerScript& s) {
             s.onCommand["PORT"] = {connectData(),
                                    send("200 Active data connection established.\r\n")};
             s.onCommand["STOR"] = {send("125 Data connection already open.\r\n"),
                                    replyAfterData("226 Transfer complete.\r\n")};
         },
         Operation::Upload, Outcome::Success, {}, kUpload, {}, false, 0, 3000, true},

        {"NeverConnectsBack",
         [](ServerScript& s) { s.onCommand["STOR"] = {send("150 Opening data connection\r\n")}; },
         Operation::Upload, Outcome::SockError,
         "Data Connection Timed Out: the server did not connect back (try passive mode)",
         kUpload},

        {"AnotherPeerOnTheDataPortIsClosedAndTheWaitGoesOn",
         [](ServerScript& s) {
             s.onCommand["STOR"] = {send("150 Opening data connection\r\n"),
                                    intruder("127.0.0.2"), connectData(),
                                    replyAfterData("226 Transfer complete\r\n")};
         },
         Operation::Upload, Outcome::Success, {}, kUpload, {}, false, 0, 3000, true, false, false,
         {}, kEndsWithin, true},

        // A reader at 512 KB/s takes three seconds over what the system
        // buffers at once: idle time-outs of one second must not fire.
        {"ASlowButMovingTransferDoesNotTimeOut",
         [](ServerScript& s) {
             s.onCommand["STOR"] = {send("150 Opening data connection\r\n"),
                                    slowData(512 * 1024), connectData(),
                                    replyAfterData("226 Transfer complete\r\n")};
         },
         Operation::Upload, Outcome::Success, {}, kUpload, {}, false, 0, 1536 * 1024, true, false,
         false, {}, 20000},

        // --------------------------------------------------------- passive

        {"PassiveWithEpsv", [](ServerScript&) {}, Operation::Upload, Outcome::Success, {},
         kPassiveUpload, {}, false, 0, 3000, true, true},

        {"EpsvRefusedThenPasv",
         [](ServerScript& s) { s.onCommand["EPSV"] = {send("500 EPSV not understood\r\n")}; },
         Operation::Upload, Outcome::Success, {}, kPasvUpload, {}, false, 0, 3000, true, true},

        // A server behind NAT announces its private address; the data goes to
        // the address the control connection reached.
        {"A227WithAWrongAddress",
         [](ServerScript& s) {
             s.onCommand["EPSV"] = {send("502 Not implemented\r\n")};
             s.onCommand["PASV"] = {
                 listenData("227 Entering Passive Mode (10,99,98,97,{p1,p2})\r\n")};
         },
         Operation::Upload, Outcome::Success, {}, kPasvUpload, {}, false, 0, 3000, true, true},

        {"A227WithoutNumbers",
         [](ServerScript& s) {
             s.onCommand["EPSV"] = {send("500 No\r\n")};
             s.onCommand["PASV"] = {send("227 Entering Passive Mode\r\n")};
         },
         Operation::Upload, Outcome::FtpError, "227 Entering Passive Mode\r\n",
         {"USER alice", "PASS secret", "TYPE I", "EPSV", "PASV"}, {}, false, 0, 3000, false, true,
         false, "The server's passive mode reply has no port"},

        {"A229WithAPortOutOfRange",
         [](ServerScript& s) {
             s.onCommand["EPSV"] = {send("229 Entering Extended Passive Mode (|||70000|)\r\n")};
         },
         Operation::Upload, Outcome::FtpError, "229 Entering Extended Passive Mode (|||70000|)\r\n",
         {"USER alice", "PASS secret", "TYPE I", "EPSV"}, {}, false, 0, 3000, false, true, false,
         "The server's passive mode reply has no port"},

        {"PassiveRefusedAltogether",
         [](ServerScript& s) {
             s.onCommand["EPSV"] = {send("500 No\r\n")};
             s.onCommand["PASV"] = {send("550 Passive mode is off\r\n")};
         },
         Operation::Upload, Outcome::FtpError, "550 Passive mode is off\r\n",
         {"USER alice", "PASS secret", "TYPE I", "EPSV", "PASV"}, {}, false, 0, 3000, false, true,
         false, "The server refused passive mode"},

        {"APassivePortNobodyListensOn",
         [](ServerScript& s) {
             s.onCommand["EPSV"] = {send("229 Entering Extended Passive Mode (|||1|)\r\n")};
         },
         Operation::Upload, Outcome::SockError,
         "Error creating Data Connection (Connection Failed)",
         // STOR goes out alongside the connection, to save a round trip.
         {"USER alice", "PASS secret", "TYPE I", "EPSV", "STOR pub/index.htm"}, {}, false, 0, 3000, false,
         true},

        // ------------------------------------------------------------- TLS

        {"AuthTlsRefused",
         [](ServerScript& s) { s.onCommand["AUTH"] = {send("502 Command not implemented\r\n")}; },
         Operation::Connect, Outcome::FtpError, "502 Command not implemented\r\n",
         {"AUTH TLS", "QUIT"}, {}, false, 0, 3000, false, false, true, "The server refused TLS"},

        {"ATlsHandshakeThatNeverCompletes",
         [](ServerScript& s) { s.onCommand["AUTH"] = {send("234 Proceed\r\n"), swallowInput()}; },
         Operation::Connect, Outcome::SockError, "TLS Handshake Timed Out", {"AUTH TLS"}, {}, false,
         0, 3000, false, false, true},

        {"ATlsHandshakeAnsweredInTheClear",
         [](ServerScript& s) {
             s.onCommand["AUTH"] = {send("234 Proceed\r\n"),
                                    swallowInput("230 Logged in\r\n")};
         },
         Operation::Connect, Outcome::SockError, {}, {"AUTH TLS"}, {}, false, 0, 3000, false, false,
         true},

        {"UnprotectedBytesAfterAuthTls",
         [](ServerScript& s) {
             s.onCommand["AUTH"] = {send("234 Proceed\r\n230 Injected\r\n"), swallowInput()};
         },
         Operation::Connect, Outcome::SockError, "The server sent unprotected bytes after AUTH TLS",
         {"AUTH TLS"}, {}, false, 0, 3000, false, false, true},

        {"ServiceClosingInTheMiddle",
         [](ServerScript& s) {
             s.onCommand["PORT"] = {send("421 Service not available, closing.\r\n"),
                                    closeControl()};
         },
         Operation::Upload, Outcome::FtpError, "421 Service not available, closing.\r\n",
         {"USER alice", "PASS secret", "TYPE I", "PORT 127,0,0,1,*"}},

        {"ControlClosedAfter150",
         [](ServerScript& s) { s.onCommand["STOR"] = {send("150 Opening\r\n"), closeControl()}; },
         Operation::Upload, Outcome::SockError, "Connection Lost", kUpload},

        {"ControlClosedAfter150WithTheDataConnected",
         [](ServerScript& s) {
             s.onCommand["STOR"] = {send("150 Opening\r\n"), connectData(), closeControl()};
         },
         Operation::Upload, Outcome::SockError, "Connection Lost", kUpload},

        {"DroppedMidReply",
         [](ServerScript& s) { s.onCommand["USER"] = {send("331 Passw"), closeControl()}; },
         Operation::Connect, Outcome::SockError, "Connection Lost", {"USER alice"}},

        {"DroppedMidTransfer",
         [](ServerScript& s) {
             s.onCommand["STOR"] = {send("150 Opening\r\n"), connectData(),
                                    abortDataAfter(256 * 1024, "426 Transfer aborted.\r\n")};
         },
         Operation::Upload, Outcome::SockError, "Connection Lost", kUpload, {}, false, 0,
         48 * 1024 * 1024},

        {"Reply426AfterTheData",
         [](ServerScript& s) {
             s.onCommand["STOR"] = {send("150 Opening\r\n"), connectData(),
                                    replyAfterData("426 Connection closed; transfer aborted.\r\n")};
         },
         Operation::Upload, Outcome::FtpError, "426 Connection closed; transfer aborted.\r\n",
         kUpload, {}, false, 0, 3000, true},

        {"Reply552AfterTheData",
         [](ServerScript& s) {
             s.onCommand["STOR"] = {send("150 Opening\r\n"), connectData(),
                                    replyAfterData("552 Quota exceeded.\r\n")};
         },
         Operation::Upload, Outcome::FtpError, "552 Quota exceeded.\r\n", kUpload, {}, false, 0,
         3000, true},

        {"AReplyLineThatNeverEnds", [](ServerScript& s) { s.greeting = {send("220 hello")}; },
         Operation::Connect, Outcome::SockError, "Socket readln timed out", {"QUIT"}},

        {"AReplyLineThatNeverStops", [](ServerScript& s) { s.greeting = {flood()}; },
         Operation::Connect, Outcome::SockError, "Reply line too long", {"QUIT"}},

        {"SilenceAfterConnect", [](ServerScript& s) { s.greeting = {}; }, Operation::Connect,
         Outcome::SockError, "Socket readln timed out", {"QUIT"}},

        {"SilenceAfterAContinuedLine",
         [](ServerScript& s) { s.greeting = {send("220-and then nothing\r\n")}; },
         Operation::Connect, Outcome::SockError, "Socket readln timed out", {"QUIT"}},

        {"QuitRefused", [](ServerScript& s) { s.onCommand["QUIT"] = {send("500 No\r\n")}; },
         Operation::Disconnect, Outcome::FtpError, "500 No\r\n",
         kLogin + QList<QByteArray>{"QUIT"}},
    };
    return list;
}

class HostileServerTest : public ::testing::TestWithParam<Scenario> {
protected:
    test::TempDir dir;
};

TEST_P(HostileServerTest, EndsAsExpectedAndLeavesTheClientUsable)
{
    const Scenario& scenario = GetParam();
    ServerScript script = test::defaultScript();
    scenario.script(script);
    ScriptedFtpServer server(script);

    const QByteArray content = binaryContent(scenario.fileSize);
    dir.write(QStringLiteral("page.htm"), content);
    const QString path = dir.file(QStringLiteral("page.htm"));

    TVexFTP ftp;
    ftp.Host = QStringLiteral("127.0.0.1");
    ftp.Port = server.port();
    ftp.UserID = "alice";
    ftp.Password = "secret";
    ftp.TimeOut = kTimeOut;
    ftp.ReportLevel = 1;
    ftp.Passive = scenario.passive;
    ftp.ExplicitTLS = scenario.tls;
    QList<QByteArray> protocol;
    int connects = 0, failures = 0;
    QList<int> successes, unsupported;
    ftp.OnStatus = [&](TPowersock&, const QString& text) { protocol << text.toUtf8(); };
    ftp.OnConnect = [&](TPowersock&) { ++connects; };
    ftp.OnSuccess = [&](TCmdType type) { successes << static_cast<int>(type); };
    ftp.OnUnSupportedFunction = [&](TCmdType type) { unsupported << static_cast<int>(type); };
    if (scenario.handleFailure) {
        ftp.OnFailure = [&](bool& handled, TCmdType type) {
            EXPECT_EQ(static_cast<int>(type), 9);
            ++failures;
            handled = true;
        };
    }

    Outcome outcome = Outcome::Success;
    QByteArray failure;
    QElapsedTimer clock;
    clock.start();
    try {
        ftp.Connect();
        if (scenario.operation == Operation::Upload) ftp.Upload(path, "pub/index.htm");
        if (scenario.operation == Operation::Disconnect) ftp.Disconnect();
    } catch (const FTPException& e) {
        outcome = Outcome::FtpError;
        failure = e.reply();
        const QString explained = scenario.explanation.isEmpty()
                                      ? QString()
                                      : QString::fromUtf8(scenario.explanation + ": ");
        EXPECT_EQ(e.text(), explained + QString::fromUtf8(e.reply()));
    } catch (const EAbortError& e) {
        outcome = Outcome::AbortError;
        failure = e.text().toUtf8();
    } catch (const ESockError& e) {
        outcome = Outcome::SockError;
        failure = e.text().toUtf8();
    }
    EXPECT_LT(clock.elapsed(), scenario.endsWithinMs);
    EXPECT_EQ(outcome, scenario.outcome) << failure.constData();
    // A handshake that meets plain text fails as TLS says; its wording is
    // the library's.
    if (!scenario.failure.isEmpty() || outcome == Outcome::Success)
        EXPECT_EQ(failure, scenario.failure);
    else
        EXPECT_TRUE(failure.startsWith("TLS Handshake Failed")) << failure.constData();
    EXPECT_EQ(server.intruderClosed(), scenario.intruderRefused);
    EXPECT_EQ(server.intruderBytes(), 0);
    // The server reads what came last (a closing QUIT) in its own time.
    QElapsedTimer settle;
    settle.start();
    waitUntil([&] {
        return server.transcript().size() >= scenario.transcript.size() || settle.elapsed() > 1000;
    });
    EXPECT_EQ(canonical(server.transcript()), scenario.transcript);
    if (!scenario.protocolLines.isEmpty()) {
        // Only the replies and the login texts: no command is reported at level 1.
        QList<QByteArray> replies = protocol;
        replies.removeAll("USER alice");
        EXPECT_EQ(replies, scenario.protocolLines);
    }
    EXPECT_EQ(unsupported, QList<int>(scenario.unsupportedEvents, 9));
    EXPECT_EQ(failures, scenario.handleFailure ? 1 : 0);
    const bool loggedIn = scenario.outcome == Outcome::Success ||
                          scenario.operation != Operation::Connect;
    EXPECT_EQ(connects, loggedIn ? 1 : 0);
    const bool uploaded =
        scenario.operation == Operation::Upload && scenario.outcome == Outcome::Success;
    EXPECT_EQ(successes, uploaded ? QList<int>({9}) : QList<int>());
    EXPECT_EQ(ftp.DataSocket(), nullptr);
    if (scenario.dataWhole) {
        ASSERT_EQ(server.dataReceived().size(), 1);
        EXPECT_TRUE(server.dataReceived()[0] == content) << "the file arrived altered";
    }
    if (scenario.outcome == Outcome::FtpError && scenario.operation == Operation::Connect) {
        EXPECT_FALSE(ftp.Connected()) << "a refused login closes the connection";
    }

    // Usable afterwards: close what is left and publish to a good server.
    try {
        ftp.Disconnect();
    } catch (const VelmoraError&) {
    }
    EXPECT_FALSE(ftp.Connected());
    ftp.Passive = false;
    ftp.ExplicitTLS = false;
    ScriptedFtpServer good;
    ftp.Port = good.port();
    const QByteArray small = binaryContent(500);
    dir.write(QStringLiteral("small.htm"), small);
    ftp.OnFailure = nullptr;
    ftp.Connect();
    ftp.Upload(dir.file(QStringLiteral("small.htm")), "again.htm");
    ftp.Disconnect();
    const QList<QByteArray> again = {"PORT 127,0,0,1,*", "STOR again.htm", "QUIT"};
    EXPECT_EQ(canonical(good.transcript()), kLogin + again);
    ASSERT_EQ(good.dataReceived().size(), 1);
    EXPECT_TRUE(good.dataReceived()[0] == small);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, HostileServerTest, ::testing::ValuesIn(scenarios()),
                         [](const ::testing::TestParamInfo<Scenario>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace velmora

namespace velmora {
namespace {

class ScriptedClientTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ftp.Host = QStringLiteral("127.0.0.1");
        ftp.Port = server.port();
        ftp.UserID = "alice";
        ftp.Password = "secret";
        ftp.TimeOut = kTimeOut;
        dir.write(QStringLiteral("page1.htm"), "<html>1</html>");
    }
    QString page() const { return dir.file(QStringLiteral("page1.htm")); }
    QList<QByteArray> sent() const { return canonical(server.transcript()); }

    test::TempDir dir;
    ScriptedFtpServer server;
    TVexFTP ftp;
};

TEST_F(ScriptedClientTest, AnEmptyRemoteNameStoresUnderTheLocalFilesName)
{
    ftp.Connect();
    ftp.Upload(page(), QByteArray());
    EXPECT_EQ(sent().last(), QByteArray("STOR page1.htm"));
    ftp.Upload(page(), "index.htm");
    EXPECT_EQ(sent().last(), QByteArray("STOR index.htm"));
    ASSERT_EQ(server.dataReceived().size(), 2);
    EXPECT_EQ(server.dataReceived()[1], QByteArray("<html>1</html>"));
}

TEST_F(ScriptedClientTest, AMissingFileSendsNoPort)
{
    ftp.Connect();
    const QString missing = dir.file(QStringLiteral("nothere.htm"));
    try {
        ftp.Upload(missing, "x.htm");
        FAIL() << "uploaded a missing file";
    } catch (const FileError& e) {
        EXPECT_EQ(e.text(), QStringLiteral("Cannot open file ") + missing);
    }
    EXPECT_EQ(sent(), kLogin);
    EXPECT_EQ(ftp.DataSocket(), nullptr);
}

TEST_F(ScriptedClientTest, ConnectOnAnOpenConnectionDoesNothing)
{
    int connects = 0;
    ftp.OnConnect = [&](TPowersock&) { ++connects; };
    ftp.Connect();
    ftp.Connect();
    EXPECT_EQ(connects, 1);
    EXPECT_EQ(sent(), kLogin);
    EXPECT_EQ(server.controlConnections(), 1);
}

TEST_F(ScriptedClientTest, WithAProxyTheLoginNameCarriesTheHost)
{
    ftp.Host = QStringLiteral("ftp.example.com");  // never looked up
    ftp.Port = 1;
    ftp.Proxy = QStringLiteral("127.0.0.1");
    ftp.ProxyPort = server.port();
    int resolved = 0;
    ftp.OnHostResolved = [&](TPowersock&) { ++resolved; };
    ftp.Connect();
    EXPECT_EQ(sent().first(), QByteArray("USER alice@ftp.example.com"));
    EXPECT_EQ(resolved, 0);
}

TEST_F(ScriptedClientTest, AnEmptyPasswordIsSentOnlyWhenAskedFor)
{
    ftp.Password = "";
    QStringList protocol;
    ftp.ReportLevel = 1;
    ftp.OnStatus = [&](TPowersock&, const QString& text) { protocol << text; };
    ftp.Connect();
    EXPECT_EQ(sent(), (QList<QByteArray>{"USER alice", "PASS ", "TYPE I"}));
    EXPECT_EQ(protocol.first(), QStringLiteral("220 Scripted server ready\r\n"));
    EXPECT_TRUE(protocol.contains(QStringLiteral("USER alice")));
}

TEST_F(ScriptedClientTest, UploadWithoutAConnectionGivesOnConnectionRequiredOneChance)
{
    int asked = 0;
    ftp.OnConnectionRequired = [&](bool&) { ++asked; };
    try {
        ftp.Upload(page(), "a.htm");
        FAIL() << "uploaded without a connection";
    } catch (const ESockError& e) {
        EXPECT_EQ(e.text(), QStringLiteral("Not Connected"));
    }
    EXPECT_EQ(asked, 1);

    ftp.OnConnectionRequired = [&](bool& handled) {
        ++asked;
        ftp.Connect();
        handled = true;
    };
    ftp.Upload(page(), "a.htm");
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(sent().last(), QByteArray("STOR a.htm"));

    ftp.OnConnectionRequired = [&](bool& handled) { handled = true; };  // but no connection
    ftp.Disconnect();
    EXPECT_THROW(ftp.Upload(page(), "b.htm"), ESockError);
}

TEST_F(ScriptedClientTest, ACancelFromAnEventHandlerIsAFailureNotASuccess)
{
    int successes = 0;
    ftp.OnSuccess = [&](TCmdType) { ++successes; };
    ftp.OnTransactionStart = [&](TPowersock&) { ftp.Cancel(); };
    ftp.Connect();
    try {
        ftp.Upload(page(), "a.htm");
        FAIL() << "a cancelled upload succeeded";
    } catch (const EAbortError& e) {
        EXPECT_EQ(e.text(), QStringLiteral("Socket send aborted"));
    }
    EXPECT_EQ(successes, 0);
}

TEST_F(ScriptedClientTest, EventsOfAnUploadInOrder)
{
    QStringList events;
    ftp.OnTransactionStart = [&](TPowersock&) { events << QStringLiteral("start"); };
    ftp.OnTransactionStop = [&](TPowersock&) { events << QStringLiteral("stop"); };
    ftp.OnSuccess = [&](TCmdType type) {
        events << QStringLiteral("success %1").arg(static_cast<int>(type));
    };
    qint64 sent = 0;
    ftp.OnPacketSent = [&](TPowersock& data) {
        sent = data.BytesSent();
        EXPECT_NE(&data, &ftp) << "counted on the data connection";
    };
    ftp.Connect();
    ftp.Upload(page(), "a.htm");
    EXPECT_EQ(events, (QStringList{QStringLiteral("start"), QStringLiteral("stop"),
                                   QStringLiteral("success 9")}));
    EXPECT_EQ(sent, 14);
    EXPECT_EQ(ftp.BytesTotal(), 14);
    EXPECT_EQ(ftp.LastReply(), QByteArray("226 Transfer complete\r\n"));
}


TEST_F(ScriptedClientTest, ARefusedEpsvIsNotAskedAgainOnTheSameConnection)
{
    test::ServerScript script = test::defaultScript();
    script.onCommand["EPSV"] = {test::send("500 EPSV not understood\r\n")};
    ScriptedFtpServer refusing(script);
    ftp.Port = refusing.port();
    ftp.Passive = true;
    ftp.Connect();
    ftp.Upload(page(), "a.htm");
    ftp.Upload(page(), "b.htm");
    ftp.Disconnect();
    const QList<QByteArray> uploads = {"EPSV", "PASV", "STOR a.htm", "PASV", "STOR b.htm", "QUIT"};
    EXPECT_EQ(canonical(refusing.transcript()), kLogin + uploads);
    // A new login asks again: the next server may know EPSV.
    ftp.Connect();
    ftp.Upload(page(), "c.htm");
    EXPECT_EQ(refusing.transcript().mid(refusing.transcript().size() - 3),
              (QList<QByteArray>{"EPSV", "PASV", "STOR c.htm"}));
    ASSERT_EQ(refusing.dataReceived().size(), 3);
    EXPECT_EQ(refusing.dataReceived()[2], QByteArray("<html>1</html>"));
}

// The server closed the connection while nothing waited on it: the next
// upload reports the missing connection as such, after offering
// OnConnectionRequired its chance, and sends nothing.
TEST_F(ScriptedClientTest, AnUploadAfterALostConnectionReportsNotConnected)
{
    test::ServerScript script = test::defaultScript();
    script.onCommand["STOR"] = {test::send("150 Opening\r\n"), test::connectData(),
                                test::replyAfterData("226 Done, and goodbye\r\n"),
                                test::closeControl()};
    ScriptedFtpServer closing(script);
    ftp.Port = closing.port();
    int asked = 0;
    ftp.OnConnectionRequired = [&](bool&) { ++asked; };
    ftp.Connect();
    ftp.Upload(page(), "a.htm");
    // The close reaches this side while the program does something else.
    QThread::msleep(100);
    try {
        ftp.Upload(page(), "b.htm");
        FAIL() << "uploaded over a closed connection";
    } catch (const ESockError& e) {
        EXPECT_EQ(e.text(), QStringLiteral("Not Connected"));
    }
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(canonical(closing.transcript()).last(), QByteArray("STOR a.htm"));
}

}  // namespace
}  // namespace velmora
