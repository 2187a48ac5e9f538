// Preloaded into ser2net by the tests: its address lookup asks for AI_ADDRCONFIG, which
// finds nothing in a network namespace that has only the loopback interface (where the
// tests may run), so it could not listen on 127.0.0.x there. Everything else is untouched.
#include <dlfcn.h>
#include <netdb.h>

extern "C" int getaddrinfo(const char *node, const char *service, const struct addrinfo *hints,
                           struct addrinfo **res) {
    using Real = int (*)(const char *, const char *, const struct addrinfo *, struct addrinfo **);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "getaddrinfo"));
    if (!hints) return real(node, service, hints, res);
    struct addrinfo h = *hints;
    h.ai_flags &= ~AI_ADDRCONFIG;
    return real(node, service, &h, res);
}
