#include <gtest/gtest.h>

#include <QRegularExpression>

#include "CliManual.h"
#include "support/InProcessCli.h"

namespace velmora::cli {
namespace {

using test::runCliInProcess;

TEST(CliManual, VersionAndHelpAnswerOnStandardOutput)
{
    struct Case {
        QStringList args;
        QByteArray startOfOutput;
    };
    const Case cases[] = {
        {{QStringLiteral("--version")}, QByteArray("velmora-cli " VELMORA_EXPECTED_VERSION "\n")},
        {{QStringLiteral("--help")}, QByteArray("velmora-cli " VELMORA_EXPECTED_VERSION ": ")},
        {{QStringLiteral("-h")}, QByteArray("velmora-cli " VELMORA_EXPECTED_VERSION ": ")},
    };
    for (const Case& c : cases) {
        const test::CliRun run = runCliInProcess(c.args);
        EXPECT_EQ(run.exitCode, 0) << c.args.join(u' ').toStdString();
        EXPECT_TRUE(run.out.startsWith(c.startOfOutput)) << run.out.constData();
        EXPECT_TRUE(run.err.isEmpty());
    }
    EXPECT_EQ(runCliInProcess({QStringLiteral("--version")}).out,
              "velmora-cli " VELMORA_EXPECTED_VERSION "\n");
    // Beside other words they are no request of their own.
    EXPECT_NE(runCliInProcess({QStringLiteral("--version"), QStringLiteral("x")}).exitCode, 0);
}

// The words of a text, whatever lines and markup carry them.
QStringList words(QString text)
{
    text.replace(QRegularExpression(QStringLiteral("^\\.[A-Za-z]+ ?"),
                                    QRegularExpression::MultilineOption),
                 QString());
    text.replace(QStringLiteral("\\-"), QStringLiteral("-")).replace(QStringLiteral("\\e"), QStringLiteral("\\"));
    text.replace(QStringLiteral("\\&"), QString());
    return text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
}

TEST(CliManual, HelpAndManPageSayTheSameOfEveryCommand)
{
    const QString help = helpText();
    const QString man = QString::fromUtf8(manPage());
    const QString helpWords = words(help).join(u' ');
    const QString manWords = words(man).join(u' ');
    for (const Command& command : commands()) {
        for (const QString& part : {QString::fromLatin1(command.usage), QString::fromLatin1(command.description)}) {
            const QString sentence = words(part.split(QStringLiteral("\n\n")).last()).join(u' ');
            EXPECT_TRUE(helpWords.contains(sentence)) << sentence.toStdString();
            EXPECT_TRUE(manWords.contains(sentence)) << sentence.toStdString();
        }
    }
    for (const QString& line : help.split(u'\n'))
        EXPECT_TRUE(line.size() <= 79 || !line.trimmed().contains(u' ')) << line.toStdString();
}

TEST(CliManual, TheManPageHoldsNoStrayRequestOrHyphen)
{
    const QByteArray page = manPage();
    EXPECT_TRUE(page.startsWith(".TH VELMORA\\-CLI 1 "));
    EXPECT_TRUE(page.contains("\"Velmora " VELMORA_EXPECTED_VERSION "\""));
    const QByteArrayList known = {".TH", ".SH", ".TP", ".B", ".IP", ".PP", ".br"};
    for (const QByteArray& line : page.split('\n')) {
        if (line.startsWith('.') || line.startsWith('\'')) {
            EXPECT_TRUE(known.contains(line.split(' ').first())) << line.constData();
        }
        EXPECT_FALSE(QRegularExpression(QStringLiteral("(^|[^\\\\])-")).match(QString::fromUtf8(line)).hasMatch())
            << line.constData();
    }
}

TEST(CliManual, RoffTextIsShownLiterally)
{
    struct Case {
        QString text;
        QByteArray roff;
    };
    const Case cases[] = {
        {QStringLiteral("--dry-run"), "\\-\\-dry\\-run\n"},
        {QStringLiteral(".SH hostile"), "\\&.SH hostile\n"},
        {QStringLiteral("'br"), "\\&'br\n"},
        {QStringLiteral("a\\fBb"), "a\\efBb\n"},
        {QStringLiteral("one\n.two"), "one\n\\&.two\n"},
        {QStringLiteral("\u00e9\U0001F600"), QStringLiteral("\u00e9\U0001F600\n").toUtf8()},
    };
    for (const Case& c : cases) EXPECT_EQ(roffText(c.text), c.roff) << c.text.toStdString();
}

}  // namespace
}  // namespace velmora::cli
