#pragma once
// The start and the end of the Pellora20 program around its main window, in
// the order the units depend on each other: the foundation's bootstrap (paths,
// base file, application ini), the picture formats, the volumes configuration;
// at the end, after the main window is gone, the volumes configuration is
// written back.
namespace pellora {

// Runs the start. False when the user cancelled the base-file question (the
// program then ends before any window exists). Throws when the start fails
// (a base file that cannot be written, an ini that cannot be read).
bool StartProgram();
// Runs the end; call it after the main window has been destroyed. Never
// throws: a volumes or base file that cannot be written must not stop the
// orderly exit.
void EndProgram();

}  // namespace pellora
