#include "session/session.hpp"

int main(int argc, char** argv, char** envp) {
    static RealTerminal term;
    static Editor ed(term, ZeroedStorage::kYes);
    return RunEditor(ed, argc, argv, envp);
}
