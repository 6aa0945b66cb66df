#include <new>

#include "session/session.hpp"

namespace {
// The editor and its terminal, in static storage, which starts all zero: the editor's large arrays are
// left as they are, and the terminal's few fields lie after them, away from its keyboard buffer.
struct Program {
    Editor ed{term, ZeroedStorage::kYes};
    RealTerminal term;
};
}  // namespace

int main(int argc, char** argv, char** envp) {
    // Made in place and never destroyed: the process ends with the editor, which has given back the
    // terminal by then, and a destructor registered to run at exit would cost a page more at start-up.
    alignas(Program) static unsigned char storage[sizeof(Program)];
    Program* program = new (storage) Program;
    return RunEditor(program->ed, argc, argv, envp);
}
