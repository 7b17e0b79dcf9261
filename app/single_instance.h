#pragma once
// One running instance: the single-instance name alone does not decide it, since any
// program in the session can create that name first.

// The name "Local\KestruneAVSingle" was found taken: true when a running instance of
// this program stands behind it (its window, shown or hidden, belongs to a process
// whose image is this program's file). A holder that has ended, or a name that nobody
// holds, is taken over at once; otherwise a start that is just getting its window up
// is waited for, up to kInstanceWaitMs. When no instance shows, the name was
// squatted: an activity line says so and false lets this start go on.
bool AnotherInstanceRuns();

// How long a start waits for the window of an instance that holds the name.
constexpr unsigned kInstanceWaitMs = 5000;
