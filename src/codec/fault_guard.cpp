// Turning processor faults inside a codec operation into a status.
//
// Each thread keeps a chain of guard frames, innermost first. A fault on a
// thread with a frame jumps back to that frame's start, which then reports the
// fault; a fault on a thread without one goes to the handler that was in place
// before ours. On Windows a vectored exception handler catches the fault; on
// POSIX a SIGSEGV/SIGBUS handler does, both installed once, on first use.
#include "codec/fault_guard.h"

#include "codec/codec.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <csetjmp>
#include <csignal>
#endif

namespace vantorel {

namespace {

#if defined(_WIN32)

// The compiler's own jump buffer: restoring it only resets the stack and frame
// pointers, which is all that is needed to leave the exception dispatcher.
struct GUARD_FRAME {
    void* jump[5];
    GUARD_FRAME* previous;
};

thread_local GUARD_FRAME* t_guard = nullptr;

bool is_processor_fault(DWORD code) {
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
        return true;
    default:
        return false;  // debugger and language exceptions go on to their handlers
    }
}

LONG CALLBACK on_exception(EXCEPTION_POINTERS* info) {
    GUARD_FRAME* frame = t_guard;
    if (frame == nullptr || !is_processor_fault(info->ExceptionRecord->ExceptionCode))
        return EXCEPTION_CONTINUE_SEARCH;
    t_guard = frame->previous;
    __builtin_longjmp(frame->jump, 1);
}

bool install_handler() { return AddVectoredExceptionHandler(1, &on_exception) != nullptr; }

#else

struct GUARD_FRAME {
    sigjmp_buf jump;
    GUARD_FRAME* previous;
};

thread_local GUARD_FRAME* t_guard = nullptr;

struct sigaction g_previous_segv;
struct sigaction g_previous_bus;

void on_fault(int signal_number, siginfo_t* info, void* context) {
    GUARD_FRAME* frame = t_guard;
    if (frame != nullptr) {
        t_guard = frame->previous;
        siglongjmp(frame->jump, 1);
    }
    // Not ours: hand the fault to whoever had it before.
    const struct sigaction& previous = signal_number == SIGSEGV ? g_previous_segv : g_previous_bus;
    if ((previous.sa_flags & SA_SIGINFO) != 0) {
        if (previous.sa_sigaction != nullptr) {
            previous.sa_sigaction(signal_number, info, context);
            return;
        }
    } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
        previous.sa_handler(signal_number);
        return;
    }
    // Default action: returning re-runs the faulting instruction, which now
    // ends the process the usual way.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal_number, &fallback, nullptr);
}

bool install_handler() {
    struct sigaction action {};
    action.sa_sigaction = &on_fault;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    const bool segv = sigaction(SIGSEGV, &action, &g_previous_segv) == 0;
    const bool bus = sigaction(SIGBUS, &action, &g_previous_bus) == 0;
    return segv && bus;
}

#endif

void ensure_handler() {
    static const bool installed = install_handler();
    (void)installed;
}

struct COPY_REQUEST {
    void* destination;
    const void* source;
    size_t count;
};

JPEG_STATUS run_copy(void* context) {
    const auto* copy = static_cast<const COPY_REQUEST*>(context);
    g_copy_bytes(copy->destination, copy->source, copy->count);
    return STATUS_SUCCESS;
}

}  // namespace

bool run_guarded(GUARDED_ROUTINE routine, void* context, JPEG_STATUS* status) {
    ensure_handler();
    GUARD_FRAME frame;
    frame.previous = t_guard;
#if defined(_WIN32)
    if (__builtin_setjmp(frame.jump) != 0) return false;  // the handler already unlinked the frame
#else
    if (sigsetjmp(frame.jump, 1) != 0) return false;  // the signal mask is restored as well
#endif
    t_guard = &frame;
    const JPEG_STATUS result = routine(context);
    t_guard = frame.previous;
    *status = result;
    return true;
}

bool copy_guarded(void* destination, const void* source, size_t count) {
    COPY_REQUEST copy{destination, source, count};
    JPEG_STATUS status = STATUS_SUCCESS;
    return run_guarded(&run_copy, &copy, &status);
}

}  // namespace vantorel
