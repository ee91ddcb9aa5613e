// Starting another program, as the help routine does.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

namespace ui {

inline constexpr int32_t kMaximizedFocus = 3;

class ProgramLauncher {
public:
    virtual ~ProgramLauncher() = default;
    // Starts `program` with `arguments` (each passed whole, never split at
    // blanks) and the window style; returns the process id. Throws rt::Error
    // (53, "File not found") when the program cannot be started.
    virtual int64_t start(const QString& program, const QStringList& arguments,
                          int32_t windowStyle) = 0;
};

// Starts programs with QProcess (detached).
std::shared_ptr<ProgramLauncher> defaultProgramLauncher();

}  // namespace ui
