// What every support tool shares on its command line: option parsing through
// QCommandLineParser with --help and --version, one version text, refusing a
// bad command line with a message and exit status 2, and the database
// password from an option, an environment variable or the terminal.
//
// A tool's main hands its body to tools::run(), which turns the tools::Exit a
// helper throws (after --help, --version or a refused command line) into the
// process's exit status:
//
//   int main(int argc, char** argv) {
//       QCoreApplication app(argc, argv);
//       return tools::run([&] {
//           tools::CommandLine cl(QStringLiteral("mytool"), QStringLiteral("What it does."));
//           QCommandLineOption count(...);
//           cl.addOption(count);
//           cl.process(app.arguments());
//           const int n = cl.intValue(count, 1, 1000);
//           ...
//           return tools::kExitOk;
//       });
//   }
#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <functional>
#include <optional>

namespace tools {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the work failed
inline constexpr int kExitUsage = 2;    // the command line was refused

// Thrown to end a tool with a status once everything it had to say is said.
struct Exit {
    int status;
};

// Runs a tool's body; an Exit thrown inside becomes the returned status.
int run(const std::function<int()>& body);

// The version text every tool prints for --version: "TOOL (narvo) VERSION".
QString versionText(const QString& toolName);

// Where the password may come from; a tool adds the sources that suit it.
enum PasswordSource : unsigned {
    PasswordOption = 1,  // --password PW (visible in the process list)
    PasswordEnv = 2,     // --password-env NAME
    PasswordAsk = 4,     // --ask-password: asked at the terminal, not echoed
    PasswordStdin = 8,   // --password-stdin: the first line of standard input
};

class CommandLine {
  public:
    // `description` says what the tool does; the usage line is made from the
    // positional arguments added.
    CommandLine(QString toolName, const QString& description);

    QCommandLineParser& parser() { return parser_; }
    const QString& toolName() const { return toolName_; }

    void addOption(const QCommandLineOption& option);
    void addPositional(const QString& name, const QString& description, const QString& syntax = {});
    // Adds the password options of `sources` (a set of PasswordSource flags);
    // `whose` describes --password in the help ("The database's password
    // (default: the system's)").
    void addPasswordOptions(unsigned sources, const QString& whose);

    // Parses the arguments (the first is the program). --help prints the help
    // on standard output and --version the version text, both ending the tool
    // with status 0; an unknown option or a missing value is refused.
    void process(const QStringList& arguments);

    bool isSet(const QCommandLineOption& option) const { return parser_.isSet(option); }
    QString value(const QCommandLineOption& option) const { return parser_.value(option); }
    QStringList positional() const { return parser_.positionalArguments(); }

    // Prints "TOOL: MESSAGE" and a pointer to --help on standard error and
    // ends the tool with status 2.
    [[noreturn]] void refuse(const QString& message) const;

    // The option's value as a whole number in [min, max]; anything else
    // (letters, blanks, a fraction, out of range) is refused.
    int intValue(const QCommandLineOption& option, int min, int max) const;
    // Refuses unless the number of positional arguments lies in [min, max]
    // (max < 0: no upper bound).
    void requirePositional(int min, int max) const;

    // The password given by one of the sources added, or nullopt when none
    // was given. Refuses two sources at once, an environment variable that is
    // not set, and asking when there is no terminal.
    std::optional<QString> password() const;

  private:
    QString toolName_;
    QCommandLineParser parser_;
    QCommandLineOption help_;
    QCommandLineOption version_;
    std::optional<QCommandLineOption> passwordOption_, passwordEnv_, passwordAsk_, passwordStdin_;
};

// Overwrites the value of "--password PW" / "--password=PW" in the process's
// own argument memory, so that the process list shows it no longer (it still
// showed while the process started). Call after parsing.
void hidePasswordArgument(int argc, char** argv);

// Asks for a password at the controlling terminal with echo off and returns
// the line typed (without its line end); nullopt when there is no terminal.
std::optional<QString> askPasswordAtTerminal(const QString& prompt);
// Reads one line from `in` as a password (without its line end); nullopt at
// the end of the input.
std::optional<QString> readPasswordLine(std::FILE* in);

}  // namespace tools
