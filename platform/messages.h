#pragma once

#include <cstdint>

namespace grinsnap {

// Asks a window to repaint itself (what invalidating its area did).
inline constexpr std::uint32_t kMsgRepaint = 0x000F;

// Window messages keep their numeric ids: user messages start at WM_USER.
inline constexpr std::uint32_t kWmUser = 0x0400;

// Result ready (wParam = request tag); also the redraw request of option panes.
inline constexpr std::uint32_t kMsgResultReady = kWmUser + 100;
// Processing continues on the worker thread.
inline constexpr std::uint32_t kMsgProcessingContinues = kWmUser + 200;
// Command-state updates of the main window.
inline constexpr std::uint32_t kMsgCommandState300 = kWmUser + 300;
inline constexpr std::uint32_t kMsgCommandState600 = kWmUser + 600;
inline constexpr std::uint32_t kMsgCommandState800 = kWmUser + 800;
inline constexpr std::uint32_t kMsgFaceNotDetected = kWmUser + 1100;
// Option pane refresh; also "expression animation stopped".
inline constexpr std::uint32_t kMsgPaneRefresh = kWmUser + 1101;
inline constexpr std::uint32_t kMsgSelectPhoto = kWmUser + 1103;
inline constexpr std::uint32_t kMsgChooseCollagePhoto = kWmUser + 2253;
inline constexpr std::uint32_t kMsgPhotoClicked = kWmUser + 2254;
// The upload wizard uses the range first..last.
inline constexpr std::uint32_t kMsgUploadWizardFirst = kWmUser + 2257;
inline constexpr std::uint32_t kMsgUploadWizardLast = kWmUser + 2266;
// The browser reached an address during authorisation (the wizard keeps the address).
inline constexpr std::uint32_t kMsgShareNavigated = kWmUser + 2257;
// A page's Next (lParam 0) or Previous (lParam 1); wParam = the page.
inline constexpr std::uint32_t kMsgSharePage = kWmUser + 2258;
inline constexpr std::uint32_t kMsgShareLoginFailed = kWmUser + 2259;
inline constexpr std::uint32_t kMsgShareUploadFailed = kWmUser + 2260;
inline constexpr std::uint32_t kMsgShareUploadDone = kWmUser + 2261;
// After a cancel, or OK on the result page: the wizard closes.
inline constexpr std::uint32_t kMsgShareCancelled = kWmUser + 2262;
// Cancel on the progress page.
inline constexpr std::uint32_t kMsgShareCancel = kWmUser + 2263;
inline constexpr std::uint32_t kMsgShareStatus = kWmUser + 2264;
// The browser's download begins (wParam 1) or completes (wParam 0).
inline constexpr std::uint32_t kMsgShareBusy = kWmUser + 2265;
inline constexpr std::uint32_t kMsgShareNewWindow = kWmUser + 2266;
// A photo dropped from the photo list onto the preview (drop point, photo item).
inline constexpr std::uint32_t kMsgPhotoDropped = kWmUser + 2267;
// GIF export progress, wParam = per cent (0xCDC).
inline constexpr std::uint32_t kMsgGifProgress = kWmUser + 2268;
inline constexpr std::uint32_t kMsgLanguageChanged = kWmUser + 3800;
// Results of the version check: a newer version (wParam = its version
// number, lParam = its build), the program is up to date (the same), the
// check failed (lParam = a std::string* with the text, which the receiver
// deletes).
inline constexpr std::uint32_t kMsgNewVersion = kWmUser + 3900;
inline constexpr std::uint32_t kMsgUpToDate = kWmUser + 3901;
inline constexpr std::uint32_t kMsgVersionCheckFailed = kWmUser + 3902;

// Timer ids.
inline constexpr int kTimerPreviewBusy = 37;       // preview busy animation, 10 ms
inline constexpr int kTimerMeshRotation = 43;      // 3D model spin, 20 ms
inline constexpr int kTimerFaceAnimation = 100;    // expression animation, 10 ms
inline constexpr int kTimerShareBusy = 227;        // upload wizard title dots, 300 ms

}  // namespace grinsnap
