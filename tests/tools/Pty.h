// A program run on a pseudo-terminal, as a person at a terminal runs it: what
// it writes is read back (line ends as "\n"), what the person types is sent.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <pty.h>
#include <signal.h>
#include <sys/select.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <vector>

namespace tooltest {

class PtySession {
  public:
    // Starts `program` with `args` in `workDir`, HOME set to `home`.
    PtySession(const QString& program, const QStringList& args, const QString& workDir,
               const QString& home) {
        std::vector<QByteArray> argv8{program.toLocal8Bit()};
        for (const QString& a : args) argv8.push_back(a.toLocal8Bit());
        std::vector<char*> argv;
        for (QByteArray& a : argv8) argv.push_back(a.data());
        argv.push_back(nullptr);
        const QByteArray dir = workDir.toLocal8Bit(), homeDir = home.toLocal8Bit();
        pid_ = ::forkpty(&fd_, nullptr, nullptr, nullptr);
        if (pid_ == 0) {
            if (::chdir(dir.constData()) != 0) _exit(126);
            ::setenv("HOME", homeDir.constData(), 1);
            ::setenv("TERM", "dumb", 1);
            ::execv(argv[0], argv.data());
            _exit(127);
        }
        EXPECT_GT(pid_, 0) << "forkpty failed";
    }
    ~PtySession() {
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (fd_ >= 0) ::close(fd_);
    }
    PtySession(const PtySession&) = delete;
    PtySession& operator=(const PtySession&) = delete;

    void send(const QByteArray& keys) {
        ASSERT_EQ(::write(fd_, keys.constData(), size_t(keys.size())), keys.size());
    }

    // Reads until `text` has appeared in what the program wrote since the last
    // expect(); returns all of that. Gives up (and fails) after a minute.
    QByteArray expect(const QByteArray& text) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!pending_.contains(text) && std::chrono::steady_clock::now() < deadline) {
            if (!readSome()) break;
        }
        const qsizetype at = pending_.indexOf(text);
        EXPECT_GE(at, 0) << "waited for \"" << text.toStdString() << "\"; got \""
                         << pending_.toStdString() << '"';
        if (at < 0) return std::exchange(pending_, QByteArray());
        const QByteArray seen = pending_.left(at + text.size());
        pending_ = pending_.mid(at + text.size());
        return seen;
    }

    // Waits for the program to end; its exit status (-1 if it crashed).
    int wait() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (readSome() && std::chrono::steady_clock::now() < deadline) {
        }
        if (std::chrono::steady_clock::now() >= deadline) ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    bool readSome() {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(fd_, &set);
        timeval tv{1, 0};
        if (::select(fd_ + 1, &set, nullptr, nullptr, &tv) <= 0) return true;  // try again
        char buf[4096];
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n <= 0) return false;  // the program closed the terminal
        pending_.append(buf, n);
        pending_.replace("\r\n", "\n");
        return true;
    }

    pid_t pid_ = -1;
    int fd_ = -1;
    bool exited_ = false;
    QByteArray pending_;
};

}  // namespace tooltest
