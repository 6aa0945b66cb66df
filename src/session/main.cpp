#include "session/session.hpp"

int main(int argc, char** argv, char** envp) {
    static RealTerminal term;
    static Editor ed(term);
    return RunEditor(ed, argc, argv, envp);
}
