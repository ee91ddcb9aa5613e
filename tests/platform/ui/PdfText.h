// Reading printed output back in tests: the text and the font names of a PDF
// file, through poppler's pdftotext and pdffonts. Each returns nullopt when the
// tool is not installed, so a test can skip instead of failing.
#pragma once

#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <optional>

namespace testing_support {

inline std::optional<QString> runPdfTool(const QString& tool, const QStringList& args) {
    const QString exe = QStandardPaths::findExecutable(tool);
    if (exe.isEmpty()) return std::nullopt;
    QProcess p;
    p.start(exe, args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QString();  // the tool ran but could not read the file
    return QString::fromUtf8(p.readAllStandardOutput());
}

inline bool pdfToolsInstalled() {
    return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("pdffonts")).isEmpty();
}

// The text of every page, as pdftotext lays it out.
inline std::optional<QString> pdfText(const QString& pdf) {
    return runPdfTool(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
}

// The fonts' table as pdffonts lists it (base names such as ABCDEF+LiberationMono).
inline std::optional<QString> pdfFonts(const QString& pdf) {
    return runPdfTool(QStringLiteral("pdffonts"), {pdf});
}

}  // namespace testing_support
