#pragma once
// The program's own executable as it was when the run began, so that the integrity
// routine can tell when it changes (an update, or tampering).

// Takes the reference: the executable's stamp and SHA-256.
void TakeExecutableReference();

// Compares the executable with the reference. Only a change of content counts: a new
// stamp with the same hash is simply remembered. A change is reported once and
// becomes the new reference; nothing else is done about it.
void CheckExecutableReference();

// Forgets the reference (tests only).
void ResetExecutableReferenceForTest();
