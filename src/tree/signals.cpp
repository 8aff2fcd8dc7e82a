#include "tree/signals.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <csignal>

namespace tvconv::tree {

namespace {

// One temporary file name per slot, readable from a signal handler: the
// holder's own string, published whole by an atomic store. A run may hold
// hundreds (a batch of files waiting to be renamed), so a slot is a pointer,
// not a copy. This and the flag are the tool's only global state: the
// handler can reach nothing else.
struct Slot {
    std::atomic<const char*> path{nullptr};
};
Slot* g_slots = nullptr;
unsigned g_slot_count = 0;
volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void on_signal(int sig) {
    if (!g_interrupted) {
        g_interrupted = 1;
        return;
    }
    for (unsigned i = 0; i < g_slot_count; ++i)
        if (const char* path = g_slots[i].path.load()) ::unlink(path);
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

}  // namespace

void install_cleanup(unsigned slots) {
    // One array for the whole process, which a handler may read until it
    // ends; a later run (the tests make several) that needs more slots swaps
    // in a larger one with the handled signals blocked, then frees the old.
    if (slots > g_slot_count) {
        Slot* grown = new Slot[slots];
        sigset_t handled, previous;
        sigemptyset(&handled);
        for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&handled, sig);
        ::pthread_sigmask(SIG_BLOCK, &handled, &previous);
        Slot* old = g_slots;
        g_slots = grown;
        g_slot_count = slots;
        ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        delete[] old;
    }
    g_interrupted = 0;
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(sig, &action, nullptr);
}

bool interrupted() {
    return g_interrupted != 0;
}

void hold_temporary(unsigned slot, const char* path) {
    if (slot < g_slot_count) g_slots[slot].path.store(path);
}

void release_temporary(unsigned slot) {
    if (slot < g_slot_count) g_slots[slot].path.store(nullptr);
}

}  // namespace tvconv::tree
