// Shared command-line handling of the support tools (see CommandLine.h).
#include "tools/common/CommandLine.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cerrno>
#include <csignal>
#include <cstring>

#ifndef NARVO_VERSION
#define NARVO_VERSION "0"
#endif

namespace tools {

namespace {

void print(std::FILE* to, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), to);
    std::fflush(to);
}

}  // namespace

int run(const std::function<int()>& body) {
    try {
        return body();
    } catch (const Exit& e) {
        std::fflush(stdout);
        return e.status;
    }
}

QString versionText(const QString& toolName) {
    return QStringLiteral("%1 (narvo) %2").arg(toolName, QStringLiteral(NARVO_VERSION));
}

CommandLine::CommandLine(QString toolName, const QString& description)
    : toolName_(std::move(toolName)),
      help_(QStringList{QStringLiteral("h"), QStringLiteral("help")},
            QStringLiteral("Shows this help and ends.")),
      version_(QStringLiteral("version"), QStringLiteral("Shows the version and ends.")) {
    parser_.setApplicationDescription(description);
    parser_.addOption(help_);
    parser_.addOption(version_);
}

void CommandLine::addOption(const QCommandLineOption& option) { parser_.addOption(option); }

void CommandLine::addPositional(const QString& name, const QString& description,
                                const QString& syntax) {
    parser_.addPositionalArgument(name, description, syntax);
}

void CommandLine::addPasswordOptions(unsigned sources, const QString& whose) {
    if (sources & PasswordOption) {
        passwordOption_.emplace(
            QStringLiteral("password"),
            QStringLiteral("%1. PW shows in the process list, where other users of this "
                           "computer can read it: prefer --password-env%2.")
                .arg(whose,
                     (sources & PasswordAsk) ? QStringLiteral(" or --ask-password") : QString()),
            QStringLiteral("PW"));
        parser_.addOption(*passwordOption_);
    }
    if (sources & PasswordEnv) {
        passwordEnv_.emplace(QStringLiteral("password-env"),
                             QStringLiteral("Reads the password from the environment variable "
                                            "NAME."),
                             QStringLiteral("NAME"));
        parser_.addOption(*passwordEnv_);
    }
    if (sources & PasswordAsk) {
        passwordAsk_.emplace(QStringLiteral("ask-password"),
                             QStringLiteral("Asks for the password at the terminal (not echoed)."));
        parser_.addOption(*passwordAsk_);
    }
    if (sources & PasswordStdin) {
        passwordStdin_.emplace(
            QStringLiteral("password-stdin"),
            QStringLiteral("Reads the password from the first line of standard input."));
        parser_.addOption(*passwordStdin_);
    }
}

void CommandLine::process(const QStringList& arguments) {
    if (!parser_.parse(arguments)) refuse(parser_.errorText());
    if (parser_.isSet(help_)) {
        // The usage line names the tool, not the path it was started by.
        QString text = parser_.helpText();
        const qsizetype eol = text.indexOf(u'\n');
        const QString first = text.left(eol);
        const qsizetype options = first.indexOf(QStringLiteral(" [options]"));
        if (first.startsWith(QStringLiteral("Usage: ")) && options > 0)
            text = QStringLiteral("Usage: ") + toolName_ + text.mid(options);
        print(stdout, text);
        throw Exit{kExitOk};
    }
    if (parser_.isSet(version_)) {
        print(stdout, versionText(toolName_) + u'\n');
        throw Exit{kExitOk};
    }
}

void CommandLine::refuse(const QString& message) const {
    print(
        stderr,
        QStringLiteral("%1: %2\nTry '%1 --help' for more information.\n").arg(toolName_, message));
    throw Exit{kExitUsage};
}

int CommandLine::intValue(const QCommandLineOption& option, int min, int max) const {
    const QString text = parser_.value(option);
    bool ok = false;
    const qlonglong n = text.toLongLong(&ok);
    const QString name = QStringLiteral("--") + option.names().constLast();
    if (!ok) refuse(QStringLiteral("%1: '%2' is not a whole number.").arg(name, text));
    if (n < min || n > max)
        refuse(
            QStringLiteral("%1: %2 is out of range (%3 to %4).").arg(name, text).arg(min).arg(max));
    return int(n);
}

void CommandLine::requirePositional(int min, int max) const {
    const qsizetype n = parser_.positionalArguments().size();
    if (n < min) refuse(QStringLiteral("too few arguments."));
    if (max >= 0 && n > max)
        refuse(QStringLiteral("too many arguments (unexpected '%1').")
                   .arg(parser_.positionalArguments().at(max)));
}

std::optional<QString> CommandLine::password() const {
    int given = 0;
    for (const auto* o : {&passwordOption_, &passwordEnv_, &passwordAsk_, &passwordStdin_})
        if (o->has_value() && parser_.isSet(**o)) ++given;
    if (given == 0) return std::nullopt;
    if (given > 1) refuse(QStringLiteral("give the password one way only."));

    if (passwordOption_ && parser_.isSet(*passwordOption_)) return parser_.value(*passwordOption_);
    if (passwordEnv_ && parser_.isSet(*passwordEnv_)) {
        const QString name = parser_.value(*passwordEnv_);
        if (name.isEmpty()) refuse(QStringLiteral("--password-env needs the name of a variable."));
        if (!qEnvironmentVariableIsSet(name.toLocal8Bit().constData()))
            refuse(QStringLiteral("the environment variable %1 is not set.").arg(name));
        return qEnvironmentVariable(name.toLocal8Bit().constData());
    }
    if (passwordAsk_ && parser_.isSet(*passwordAsk_)) {
        auto pw = askPasswordAtTerminal(QStringLiteral("Password: "));
        if (!pw)
            refuse(
                QStringLiteral("there is no terminal to ask the password at; "
                               "use --password-env NAME."));
        return pw;
    }
    auto pw = readPasswordLine(stdin);
    if (!pw) refuse(QStringLiteral("standard input holds no password line."));
    return pw;
}

void hidePasswordArgument(int argc, char** argv) {
    static const char kOption[] = "--password";
    const size_t n = sizeof kOption - 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) return;
        if (std::strcmp(argv[i], kOption) == 0 && i + 1 < argc) {
            ++i;
            std::memset(argv[i], 'x', std::strlen(argv[i]));
        } else if (std::strncmp(argv[i], kOption, n) == 0 && argv[i][n] == '=') {
            std::memset(argv[i] + n + 1, 'x', std::strlen(argv[i] + n + 1));
        }
    }
}

namespace {

// The terminal's settings while echo is off, restored when the tool is
// interrupted at the prompt, so that a Ctrl+C leaves no silent terminal behind.
int gTtyFd = -1;
termios gSavedTermios;

void restoreTerminalAndStop(int sig) {
    if (gTtyFd >= 0) {
        ::tcsetattr(gTtyFd, TCSAFLUSH, &gSavedTermios);
        if (::write(gTtyFd, "\n", 1) < 0) {
        }
    }
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

std::optional<QString> readLineFrom(int fd) {
    QByteArray line;
    char c;
    for (;;) {
        const ssize_t r = ::read(fd, &c, 1);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) {
            if (line.isEmpty()) return std::nullopt;
            break;
        }
        if (c == '\n') break;
        line += c;
    }
    if (line.endsWith('\r')) line.chop(1);
    return QString::fromLocal8Bit(line);
}

}  // namespace

std::optional<QString> askPasswordAtTerminal(const QString& prompt) {
    const int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return std::nullopt;
    termios saved;
    if (::tcgetattr(fd, &saved) != 0) {
        ::close(fd);
        return std::nullopt;
    }
    gTtyFd = fd;
    gSavedTermios = saved;
    auto oldInt = std::signal(SIGINT, restoreTerminalAndStop);
    auto oldTerm = std::signal(SIGTERM, restoreTerminalAndStop);
    auto oldHup = std::signal(SIGHUP, restoreTerminalAndStop);
    termios quiet = saved;
    quiet.c_lflag &= ~tcflag_t(ECHO);
    quiet.c_lflag |= ICANON;
    ::tcsetattr(fd, TCSAFLUSH, &quiet);
    const QByteArray p = prompt.toLocal8Bit();
    if (::write(fd, p.constData(), p.size()) < 0) {
    }
    std::optional<QString> line = readLineFrom(fd);
    ::tcsetattr(fd, TCSAFLUSH, &saved);
    if (::write(fd, "\n", 1) < 0) {
    }
    std::signal(SIGINT, oldInt);
    std::signal(SIGTERM, oldTerm);
    std::signal(SIGHUP, oldHup);
    gTtyFd = -1;
    ::close(fd);
    // An interrupted prompt gives no password; an empty line is an empty password.
    return line ? line : std::optional<QString>(QString());
}

std::optional<QString> readPasswordLine(std::FILE* in) {
    std::fflush(stdout);
    return readLineFrom(::fileno(in));
}

}  // namespace tools
