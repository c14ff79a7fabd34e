#pragma once
// The one reset of the tests: every piece of state the program keeps (the main window and its
// front, the rules' objects, the scale, the print road, the core's globals, connections, parameters
// and translations, the program's end mark, the clock) back to how a fresh process has it. Every
// fixture calls it in SetUp and TearDown; what a fixture installs itself (prompts, a printer output,
// a database, a queue) it takes away itself.
namespace testenv {

void reiniciaTodo();

} // namespace testenv
