// The run-time environment behind seams: the clock, the application folder and
// title, and the immediate program end. The library reaches these only through
// the interfaces here, so tests can fix the clock and catch the program end.
#pragma once

#include <QDateTime>
#include <QString>

#include <memory>

namespace rt {

class Clock {
public:
    virtual ~Clock() = default;
    // The current local date and time, as a naive date-time (see Variant.h).
    virtual QDateTime now() const = 0;
    QDate today() const { return now().date(); }
};

// The system clock.
class SystemClock final : public Clock {
public:
    QDateTime now() const override;
};

// A clock that stands still until it is set (tests).
class FixedClock final : public Clock {
public:
    explicit FixedClock(QDateTime t) : t_(std::move(t)) {}
    QDateTime now() const override { return t_; }
    void set(QDateTime t) { t_ = std::move(t); }

private:
    QDateTime t_;
};

class ProgramEnd {
public:
    virtual ~ProgramEnd() = default;
    // Ends the program at once: no further handlers run, no unload handlers.
    [[noreturn]] virtual void endNow() = 0;
};

// Ends the process at once with a failure status.
class ProcessExit final : public ProgramEnd {
public:
    [[noreturn]] void endNow() override;
};

// Thrown by ThrowingProgramEnd so that a test sees the program end.
struct ProgramEnded {};
class ThrowingProgramEnd final : public ProgramEnd {
public:
    [[noreturn]] void endNow() override { throw ProgramEnded{}; }
};

// The folder that holds the running executable, without a trailing separator
// (the root keeps its "/"). Falls back to the current folder when unknown.
QString executableFolder();
// The program's own name (the executable's base name) as its title.
QString executableTitle();

}  // namespace rt
