#pragma once
// RegisterEngine: everything the engine makes by class identifier or opens by kind, registered
// once for a program: the decoders, the audio renderer, the openers of Blu-ray folders and MPEG
// files, and FFmpeg's log into the debug log. The command-line tool and the desktop program call
// it at start; later calls do nothing. Any thread.
void RegisterEngine();
