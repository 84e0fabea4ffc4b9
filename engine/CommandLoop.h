// The engine's command loop, which hands each command to its handler.
#pragma once

// Announces "ready", runs the command that the client sends ("wipe" by WipeInteractive, any
// other by InteractiveDefault), and again. It returns only by an exception: end of input, a line
// that does not parse, a broken channel, an "interrupt" outside a wipe pass, or any failure of a
// command.
void interactive();
