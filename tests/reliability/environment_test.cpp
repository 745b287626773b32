// The real show on machines that lack something: no audio device (it plays
// silently and exits 0 when closed), an OpenGL context older than 2.0 or
// without a required extension (one line saying why, a clean teardown and
// exit status 1, without waiting to be closed). Mesa's override variables
// give the software renderer each of those shortcomings.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "show_process.h"

namespace {

ShowRun showWith(const std::string& name, std::vector<std::string> env)
{
    ShowRun run;
    run.name = name;
    run.program = binaryFolder() + "/quillmoor";
    run.args = {"--data", builtDataFolder()};
    run.env = {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy"};
    run.env.insert(run.env.end(), env.begin(), env.end());
    return run;
}

}  // namespace

TEST(Environment, NoAudioDevicePlaysSilently)
{
    std::vector<ShowRun> runs{showWith("no_audio_device", {"SDL_AUDIODRIVER=no_such_driver"})};
    runs[0].stopAfterText = {"audio: no audio output"};
    runShows(runs, 1);
    const ShowRun& run = runs[0];
    SCOPED_TRACE(run.stderrText);
    EXPECT_FALSE(run.signalled);
    EXPECT_FALSE(run.exitedBeforeStop);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(linesWith(run.stderrText, "playing silently").size(), 1u);
    // The music itself still loaded: only the output is missing.
    EXPECT_TRUE(linesWith(run.stderrText, "music.mp3").empty());
}

TEST(Environment, ContextsThatCannotRunTheShowFailCleanly)
{
    struct Case {
        const char* name;
        const char* env;
        const char* reason;
    };
    const Case cases[] = {
        {"gl_1_5", "MESA_GL_VERSION_OVERRIDE=1.5", "cannot open a 1920x1080 OpenGL window"},
        {"extensions_up_to_1994", "MESA_EXTENSION_MAX_YEAR=1994",
         "this OpenGL context cannot run the show: GL_EXT_blend_minmax is missing"},
    };
    std::vector<ShowRun> runs;
    for (const Case& c : cases) {
        runs.push_back(showWith(c.name, {c.env}));
        runs.back().stop = false;
        runs.back().limit = std::chrono::seconds(30);
    }
    runShows(runs, 2);
    for (size_t i = 0; i < runs.size(); ++i) {
        const ShowRun& run = runs[i];
        SCOPED_TRACE(run.name + "\n" + run.stderrText);
        EXPECT_FALSE(run.hung);
        EXPECT_FALSE(run.signalled) << "signal " << run.signal;
        EXPECT_EQ(run.exitCode, 1);
        std::vector<std::string> lines = linesWith(run.stderrText, "window: ");
        lines.erase(std::remove_if(lines.begin(), lines.end(),
                                   [](const std::string& line) { return line.find("fullscreen at") != std::string::npos; }),
                    lines.end());
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_NE(lines[0].find(cases[i].reason), std::string::npos) << lines[0];
        // Nothing was loaded: the show never got as far as its content.
        EXPECT_TRUE(linesWith(run.stderrText, "content: ").empty());
    }
}
