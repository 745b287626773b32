// The live show's render scale: the share of the viewport's width and height
// that a frame is drawn at before it is scaled up into the viewport. Fixed
// (--render-scale S) or automatic: it starts at full size, steps down when
// the frames stay slower than the budget for a while (straight to the step
// the frame times say fits, never below 0.25), and back up one step at a
// time when the frames say the next size up would fit with room to spare.
// A step back down soon after a step up doubles the wait before the next
// step up, so sizes never alternate. Pure logic on the frame times the main
// loop measures; the desktop and browser loops share it. Main thread.
#pragma once

constexpr float RENDER_SCALE_MIN = 0.25f;  // share of the viewport's width and height
constexpr float RENDER_SCALE_MAX = 1.0f;
constexpr int RENDER_SCALE_STEPS = 9;
// The sizes the automatic scale takes, largest first: about 1.4 times fewer
// pixels each step.
extern const float RENDER_SCALE_STEP[RENDER_SCALE_STEPS];

// The frame time the automatic scale aims for on a display refreshing at
// `refreshHz` (0: unknown): the display's period, but never less than 1/30 s.
float frameBudgetMs(int refreshHz);

class RenderScaleController {
public:
    // `fixedScale` in 0.25..1 keeps that scale; 0 chooses automatically,
    // aiming for frames of `budgetMs`.
    void start(float fixedScale, float budgetMs);
    // One frame took `frameMs` (clock to clock); may change scale().
    void frameTook(float frameMs);
    // The scale for the next frame, 0.25..1.
    float scale() const { return automatic_ ? RENDER_SCALE_STEP[step_] : fixedScale_; }
    bool automatic() const { return automatic_; }

private:
    void change(int step);

    bool automatic_ = false;
    float fixedScale_ = 1.0f;
    float budgetMs_ = 1000.0f / 30.0f;
    int step_ = 0;               // index into RENDER_SCALE_STEP
    int settleFrames_ = 0;       // frames left to ignore after a change
    bool lastChangeUp_ = false;
    float upWaitMs_ = 0.0f;      // frame time to watch before a step up
    // The short window decides steps down, the long one steps up.
    float shortMs_ = 0.0f;
    int shortFrames_ = 0;
    int shortSlow_ = 0;
    float longMs_ = 0.0f;
    int longFrames_ = 0;
    int longSlow_ = 0;
};
