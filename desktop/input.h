// Input forwarding rules: PKT_INPUT_EVENT, the modifier latch, the fixed key
// sequences of the key buttons and the coordinate rules of both presentations.
// Portable; the caller (UI thread) owns every structure passed in.
#pragma once
#include <cstddef>
#include <cstdint>

enum : uint32_t {
    kInputMouseMove = 512,
    kInputLButtonDown = 513,
    kInputLButtonUp = 514,
    kInputRButtonDown = 516,
    kInputRButtonUp = 517,
    kInputWheel = 522,
    kInputKey = 1124, // also WM_CV_KEY_INPUT, the hook libraries' message
};

struct InputEvent {
    uint32_t code, wParam, data;
};

// PKT_INPUT_EVENT (header flag 1, 12 bytes); 0 when out is too small.
size_t BuildInputEvent(const InputEvent *e, uint8_t *out, size_t outCap);
int ParseInputEvent(const uint8_t *payload, size_t len, InputEvent *e);

// Remote shift, ctrl and alt keys held down, in ReleaseModifiers order.
enum { kLatchLeftShift, kLatchRightShift, kLatchLeftAlt, kLatchRightAlt, kLatchLeftCtrl, kLatchRightCtrl, kLatchCount };

struct ModifierLatch {
    uint8_t held[kLatchCount];
};

// What a latch change means for the toolbars: button command (0 for Shift, which
// has none) and whether it is now shown checked.
struct LatchChange {
    uint32_t button;
    int checked;
};

// Follows a key that is about to be sent (keystroke flags of WM_KEYDOWN's layout).
// Returns 1 and fills *change when a button's look changes, else 0. The key is sent
// in every case.
int LatchKey(ModifierLatch *latch, uint32_t flags, LatchChange *change);

// Clears every held modifier, in the fixed order, writing the release events
// (at most kLatchCount) and the button changes; returns the number of events.
int ReleaseModifiers(ModifierLatch *latch, InputEvent *events, LatchChange *changes);

// A modifier button (commands 40017, 40018, 40021, 40022) toggles its latch;
// writes the press or release to send. Returns 0 for any other command.
int ToggleModifierButton(ModifierLatch *latch, uint32_t command, InputEvent *e, LatchChange *change);

// The key sequences of the Windows-key (40019) and Alt+Enter (40025) buttons; returns
// the number of events written (2 or 4), 0 for any other command.
int KeyButtonSequence(uint32_t command, InputEvent *events);

// Unscaled view: the screen point of a pointer over a tile window and the screen
// point of the view frame's client origin give the remote pixel, limited to the
// screen. In full screen the pad lies at the origin at 1:1.
struct UnscaledInput {
    int32_t screenX, screenY;
    int32_t originX, originY;
    int32_t hx, vy;
    int32_t width, height;
    int fullScreen;
};
uint32_t UnscaledPosition(const UnscaledInput *in);

// Scaled view: client coordinates read unsigned from lParam, divided by the scale
// (0 → 0), not limited to the screen; each stays within its 16-bit half.
uint32_t ScaledPosition(uint32_t lParam, double viewScale);

// Tooltip text of a toolbar command: the language library's string id, 0 if none.
uint32_t TooltipStringId(uint32_t command);
