// The Windows build's programs under Debian's wine, on a private X session
// (Xvfb and openbox, see support/x_session.h). One Wine prefix serves every
// test: made once under the Windows build folder (wineboot, with no
// installer dialogs and no crash dialogs) and shared by the tests one at a
// time (CTest's RESOURCE_LOCK; a lock file guards its making as well).
// A session stops its prefix's wine server when it ends, so the next test
// starts one on its own display. When wine, the X session or the Windows
// build is missing, ok() is false and why() says which (the tests then
// skip); when they are there but the prefix cannot be made, ok() is false
// and missing() too (the tests then fail).
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "support/real_parts.h"
#include "support/x_session.h"

// Ends the running test when what `wine` needs is missing (see
// real_parts.h); fails it when wine is there but cannot be used.
#define REQUIRE_WINE(wine) \
    do { \
        if ((wine).missing()) \
            REAL_PART_MISSING() << (wine).why(); \
        ASSERT_TRUE((wine).ok()) << (wine).why(); \
    } while (0)

// The folder of the cross-built programs (quillmoor.exe, Data\ ...).
std::string windowsBuildFolder();
// A file of the Windows build folder.
std::string windowsBuildFile(const std::string& name);

// Wine's name for a path of this machine ("Z:\\tmp\\x" for "/tmp/x").
std::string windowsPath(const std::string& path);

class WineSession {
public:
    // Checks for wine and for `programs` in the Windows build folder, then
    // readies the prefix on `display`'s X server.
    WineSession(const XSession& display, const std::vector<std::string>& programs);
    ~WineSession();
    WineSession(const WineSession&) = delete;
    WineSession& operator=(const WineSession&) = delete;

    bool ok() const { return ok_; }
    bool missing() const { return missing_; }  // wine, an X server or a program is not there
    const std::string& why() const { return why_; }

    // The environment of a program under this session; `dllOverrides` is
    // added to WINEDLLOVERRIDES (e.g. "winepulse.drv=" disables a driver).
    std::vector<std::string> environment(const std::string& dllOverrides = "") const;

    // Starts `program` (a path on this machine) under wine with `args`;
    // stdout and stderr go to `outputPath`.
    bool start(Child& child, const std::string& program, const std::vector<std::string>& args,
               const std::string& outputPath, const std::string& dllOverrides = "") const;
    // Runs `program` under wine to its end (at most `limit`); its output
    // (stdout and stderr) comes back, its exit status goes to `status`.
    std::string run(const std::string& program, const std::vector<std::string>& args, int& status,
                    std::chrono::milliseconds limit) const;

private:
    bool makePrefix();

    const XSession& display_;
    std::string prefix_;
    std::string why_;
    bool ok_ = false;
    bool missing_ = true;
};
