#include "app/render_scale.h"

#include <algorithm>
#include <cmath>

const float RENDER_SCALE_STEP[RENDER_SCALE_STEPS] = {1.0f, 0.85f, 0.71f, 0.6f, 0.5f,
                                                     0.42f, 0.35f, 0.3f, 0.25f};

namespace {

constexpr float SLOWEST_BUDGET_MS = 1000.0f / 30.0f;
constexpr float SLOW_FACTOR = 1.2f;       // a frame over budget x this is slow
constexpr float ROOM_FACTOR = 0.75f;      // a step up must fit in budget x this
constexpr float HITCH_FACTOR = 8.0f;      // one frame counts at most budget x this
constexpr float SHORT_WINDOW_MS = 500.0f;
constexpr float FIRST_UP_WAIT_MS = 2000.0f;
constexpr float LONGEST_UP_WAIT_MS = 32000.0f;
constexpr int MIN_WINDOW_FRAMES = 4;
constexpr int SETTLE_FRAMES = 2;          // the frames drawn while a size changes

}  // namespace

float frameBudgetMs(int refreshHz)
{
    if (refreshHz <= 0)
        return SLOWEST_BUDGET_MS;
    return std::max(1000.0f / static_cast<float>(refreshHz), SLOWEST_BUDGET_MS);
}

void RenderScaleController::start(float fixedScale, float budgetMs)
{
    *this = RenderScaleController{};
    automatic_ = !(fixedScale > 0.0f);
    fixedScale_ = automatic_ ? RENDER_SCALE_MAX : std::clamp(fixedScale, RENDER_SCALE_MIN, RENDER_SCALE_MAX);
    budgetMs_ = budgetMs > 0.0f ? budgetMs : SLOWEST_BUDGET_MS;
    upWaitMs_ = FIRST_UP_WAIT_MS;
}

void RenderScaleController::change(int step)
{
    const bool up = step < step_;
    // Down again right after an up: the size above does not hold; wait
    // longer before trying it again.
    if (!up && lastChangeUp_)
        upWaitMs_ = std::min(upWaitMs_ * 2.0f, LONGEST_UP_WAIT_MS);
    lastChangeUp_ = up;
    step_ = step;
    settleFrames_ = SETTLE_FRAMES;
    shortMs_ = longMs_ = 0.0f;
    shortFrames_ = longFrames_ = shortSlow_ = longSlow_ = 0;
}

void RenderScaleController::frameTook(float frameMs)
{
    if (!automatic_ || !(frameMs >= 0.0f))
        return;
    if (settleFrames_ > 0) {
        --settleFrames_;
        return;
    }
    const float counted = std::min(frameMs, budgetMs_ * HITCH_FACTOR);
    const bool slow = frameMs > budgetMs_ * SLOW_FACTOR;
    shortMs_ += counted;
    longMs_ += counted;
    ++shortFrames_;
    ++longFrames_;
    shortSlow_ += slow ? 1 : 0;
    longSlow_ += slow ? 1 : 0;

    const int last = RENDER_SCALE_STEPS - 1;
    if (shortMs_ >= SHORT_WINDOW_MS && shortFrames_ >= MIN_WINDOW_FRAMES) {
        // Three frames in four slow: step down to where the cost, taken as
        // growing with the pixel count, fits the budget.
        // Straight after a step up, the size just left is known to hold.
        if (step_ < last && shortSlow_ * 4 >= shortFrames_ * 3) {
            const float mean = shortMs_ / static_cast<float>(shortFrames_);
            const float wanted = RENDER_SCALE_STEP[step_] * std::sqrt(budgetMs_ / mean);
            int step = step_ + 1;
            while (!lastChangeUp_ && step < last && RENDER_SCALE_STEP[step] > wanted)
                ++step;
            change(step);
            return;
        }
        shortMs_ = 0.0f;
        shortFrames_ = shortSlow_ = 0;
    }
    if (longMs_ >= upWaitMs_ && longFrames_ >= MIN_WINDOW_FRAMES) {
        if (step_ > 0 && longSlow_ == 0) {
            const float mean = longMs_ / static_cast<float>(longFrames_);
            const float growth = RENDER_SCALE_STEP[step_ - 1] / RENDER_SCALE_STEP[step_];
            if (mean * growth * growth < budgetMs_ * ROOM_FACTOR) {
                change(step_ - 1);
                return;
            }
        }
        longMs_ = 0.0f;
        longFrames_ = longSlow_ = 0;
    }
}
