#pragma once

namespace brinmoor {

// The process-wide object behind a seam class of the core (ChatHost, TerminalHost): the one a
// library installed, else a built-in one of the seam class itself that lives for the whole
// process.
template <typename Host>
class SharedHost {
public:
    static Host& shared()
    {
        Host* h = installed();
        return h ? *h : builtIn();
    }

    // Makes `host` the shared one (kept alive by the caller); nullptr returns to the built-in
    // one. `carry(previous, next)` moves over what the previous host had been given.
    template <typename Carry>
    static void install(Host* host, Carry carry)
    {
        Host& previous = shared();
        Host& next = host ? *host : builtIn();
        if (&previous == &next)
            return;
        carry(previous, next);
        installed() = host;
    }

private:
    static Host*& installed()
    {
        static Host* host = nullptr;
        return host;
    }
    static Host& builtIn()
    {
        struct BuiltIn final : Host {};
        static Host* host = new BuiltIn;  // lives for the whole process
        return *host;
    }
};

// Takes `previous` for a setting the next host has not been given.
template <typename T>
void carryUnset(T& next, const T& previous)
{
    if (!next)
        next = previous;
}

} // namespace brinmoor
