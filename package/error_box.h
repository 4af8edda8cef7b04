// The installer's message boxes, owned by the installation dialog.
#pragma once

// Texts that more than one error shares.
extern const char kInstallFileUnreadableText[];  // errors 3 and 9
extern const char kInstallFileCorruptText[];   // errors 13 and 14

// Modal error box: error icon, OK, caption "Vexa Installation Error [number]".
void ShowInstallError(int number, const char* text);

// Modal question: question icon, Yes and No, caption "Vexa Installation
// Warning". Returns the answer (IDYES, IDNO, ...); only IDNO counts as No.
int AskInstallWarning(const char* text);
