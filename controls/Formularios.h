#pragma once
// The modal forms of the touch-screen controls, known to prompts::showForm by name:
// "frmTeclado", "frmCalc" and "frmPassword". Installing QtPrompts registers them, and so do the
// Pedir helpers of each form; a name that already has a form registered keeps it.
namespace controls {
void registrarFormularios();
} // namespace controls
