#include "platform/window_policy.h"

FullscreenAttempts fullscreenAttempts(int requestedHz, int desktopHz)
{
    FullscreenAttempts attempts;
    auto add = [&](int refreshHz, FullscreenFit fit) {
        attempts.attempt[attempts.count++] = FullscreenAttempt{refreshHz, fit};
    };
    add(requestedHz, FullscreenFit::Exact);
    // "Any rate" was the first attempt already when none was asked for, and
    // finds whatever an unknown desktop rate would.
    if (desktopHz > 0 && desktopHz != requestedHz)
        add(desktopHz, FullscreenFit::DesktopRate);
    if (requestedHz != 0)
        add(0, FullscreenFit::DesktopRate);
    return attempts;
}

FullscreenFit desktopModeFit(const WindowRequest& request, const DisplayMode& desktop)
{
    if (desktop.width <= 0 || desktop.width != request.width || desktop.height != request.height)
        return FullscreenFit::DesktopSize;
    return request.refreshHz == 0 || desktop.refreshHz == request.refreshHz ? FullscreenFit::Exact
                                                                            : FullscreenFit::DesktopRate;
}

void pixelFormatAttempts(const PixelFormatRequest& requested, PixelFormatAttempt (&attempts)[PIXEL_FORMAT_ATTEMPTS])
{
    PixelFormatRequest nearest = requested;
    nearest.alphaBits = 8;
    nearest.stencilBits = 8;
    attempts[0] = PixelFormatAttempt{requested, true};
    attempts[1] = PixelFormatAttempt{nearest, false};
}

bool pixelFormatMeets(const PixelFormatRequest& requested, int alphaBits, int depthBits, int stencilBits)
{
    return alphaBits >= requested.alphaBits && depthBits >= requested.depthBits &&
           stencilBits >= requested.stencilBits;
}

WindowResult createWindowInTurn(const WindowRequest& request, bool videoUp, const WindowAttempt& attempt)
{
    WindowResult result;
    if (!videoUp) {
        result.failure = "video subsystem not initialised";
        return result;
    }
    PixelFormatAttempt formats[PIXEL_FORMAT_ATTEMPTS];
    pixelFormatAttempts(request.pixelFormat, formats);
    std::string failure;
    for (int i = 0; i < PIXEL_FORMAT_ATTEMPTS && !result.window; ++i) {
        result.window = attempt(formats[i], result, failure);
        result.pixelFormatIndex = i + 1;
    }
    if (!result.window) {
        result.failure = failure;
        result.pixelFormatIndex = 0;
    }
    return result;
}
