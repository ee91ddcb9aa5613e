// The library object: its environment and its lifetime.
#include "lib/clsProd.h"

clsProd::Environment clsProd::defaultEnvironment() {
    Environment env;
    env.messageBox = ui::defaultMessageBox();
    env.clock = std::make_shared<rt::SystemClock>();
    env.programEnd = std::make_shared<rt::ProcessExit>();
    env.appFolder = rt::executableFolder();
    env.appTitle = rt::executableTitle();
    env.context = std::make_shared<ctx::AppContext>();
    env.settings = std::make_shared<rt::RegionalSettings>();
    env.launcher = ui::defaultProgramLauncher();
    return env;
}

clsProd::clsProd() : clsProd(defaultEnvironment()) {}

clsProd::clsProd(Environment env) : env_(std::move(env)) {
    // Any seam left empty falls back to its default, so a host can set just
    // the ones it cares about.
    if (!env_.messageBox || !env_.clock || !env_.programEnd || !env_.context || !env_.settings ||
        !env_.launcher) {
        Environment d = defaultEnvironment();
        if (!env_.messageBox) env_.messageBox = d.messageBox;
        if (!env_.clock) env_.clock = d.clock;
        if (!env_.programEnd) env_.programEnd = d.programEnd;
        if (!env_.context) env_.context = d.context;
        if (!env_.settings) env_.settings = d.settings;
        if (!env_.launcher) env_.launcher = d.launcher;
    }
    if (env_.appFolder.isEmpty()) env_.appFolder = rt::executableFolder();
    if (env_.appTitle.isEmpty()) env_.appTitle = rt::executableTitle();
}

// Releasing the object releases its recordsets before its connection.
clsProd::~clsProd() {
    dbrec.reset();
    tmp_Rec.reset();
    tmp_Rec2.reset();
    tmp_Rec3.reset();
    dbconnection.reset();
}
