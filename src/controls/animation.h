// Animations: stored command sequences that the main loop replays on its own, paced by yield
// lines ("y ms"), while the host goes on sending commands.
#pragma once

#include <cstdint>

// ExecState while animation lines execute.
constexpr int kExecAnimation = 3;
extern volatile int ExecState;

constexpr int kAnimationStoreSize = 2048;
constexpr int kAnimationSlots = 10;

// Slot states besides a positive count of milliseconds to the next step.
constexpr int32_t kAniDue = 0;              // due now, or unused; the scheduler never picks it
constexpr int32_t kAniStopped = -1;         // keeps its text and position
constexpr int32_t kAniStopping = -2;        // stops at the next yield
constexpr int32_t kAniStopAtLast = -3;      // stops at the yield after which no yield follows
constexpr int32_t kAniStopBeforeLast = -4;  // stops at a yield that another one follows

// The text of all animations, each line NUL-terminated, each animation contiguous and in the
// order they were created; anibuf_ptr is the first free byte.
extern char anibuf[kAnimationStoreSize];
extern char* anibuf_ptr;

struct AnimationSlot {
    char* start;    // first byte of its text; null: the slot is unused
    char* end;      // its last NUL
    char* current;  // the next line to run
    int32_t state;
};
extern AnimationSlot dta[kAnimationSlots];

// Adds the line text of an "ani n text" / "ani+ n text" command line to animation n. Returns
// 1, or 0: refused during an animation step, a bad slot, an animation that is not the last one
// stored, or no room (which reports and deletes the whole animation).
int DoAnimationAdd(char* line);
// Deletes animation n; those stored after it move down. Returns 1, or 0 for a slot outside 0-9,
// an unused one, or during an animation step.
int DeleteAnimation(int n);
// Starts animation n from its current line (an unused slot is accepted and left alone).
// requireYield: fail with a message unless a line other than the first one is a yield. Returns
// 1, or 0 for a slot outside 0-9 or a missing yield.
int KV_StartAnimation(int n, bool requireYield);
// Stops animation n at its yield number k (counted from 0): "anid" (textField false) at the
// next yield from there, "tfd" (true) at the last or before-last one. No such yield stops it at
// once. Returns 0 only for a slot outside 0-9.
int KV_StopAnimationAt(int n, int k, bool textField);
// Every animation back to its first line, and a scheduler pass on the next round.
void KV_RestartAnimations();
// Free bytes of the store.
int KV_AnimationFree();
// Sends the header and the lines of animation n as "ani" commands; an unused slot sends
// nothing. Returns 0 for a slot outside 0-9.
int KV_ListAnimation(int n);
// Builds animation n as a blinking text from the current font, colours, alignment, origin and
// cursor: the text (from its opening quote, as a "T" command takes it) drawn, a yield of
// period ms, the same area in the background colour, a yield. Returns 1, or 0 when a line
// was refused (the store is full).
int KV_TextField(int n, int period, const char* quotedText);

// Empties the animation store: all slots cleared, animateTimer -1. Does nothing during an
// animation step, so an animation line cannot delete the animations that run it.
void init_animation();
// The scheduler; called by the main loop on every pass. Returns whether it ran a line (a pass
// that ran none is idle).
bool handle_animation();
