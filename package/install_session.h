// The one record of installation state, in static storage for the life of
// the process. The dialog fills in the user's choices; the scanner and member
// installation keep their progress here across the many scan slices of one
// installation.
#pragma once

#include <cstdint>

#include "byte_stream.h"
#include "package_format.h"
#include "text.h"

#ifdef _WIN32
#include <windows.h>
#endif

enum {
    PATH_BUFFER_SIZE = 300,   // every path buffer, terminator included
    TEXT_BUFFER_SIZE = 900,   // the long buffers: lists of files, program manager commands
    SLICE_LIMIT = 10000,      // a full slice reads SLICE_LIMIT + 1 bytes
    MAX_DESTINATION_DIR = 279 // longest destination whose derived paths all fit
};

// Results of a scan slice (and of member installation, which feeds them).
enum SliceResult {
    SLICE_FAILED = 0,       // failure, already shown to the user
    SLICE_COMPLETE = 1,     // package complete and checksum correct
    SLICE_CHOOSE_AGAIN = 2, // a backup step failed: back to options mode
    SLICE_MORE = 3          // slice budget used, more to do
};

enum SettingsDecision { SETTINGS_NOT_ASKED = 0, SETTINGS_KEEP = 1, SETTINGS_REPLACE = 2 };

struct InstallSession {
    // User's choices and installation decisions.
    char destinationDir[PATH_BUFFER_SIZE];
    int makeBackups;
    int addIcons;
    int settingsDecision;
    int createdDestination;
    int abortPending;

    // Streams and path buffers.
    char imagePath[PATH_BUFFER_SIZE];      // the installer's own file, read as the package
    ByteStream* packageStream;
    ByteStream* memberStream;
    char tempPath[PATH_BUFFER_SIZE];
    char memberPath[PATH_BUFFER_SIZE];
    char backupDir[PATH_BUFFER_SIZE];
    char statusBuffer[PATH_BUFFER_SIZE];   // the status line's text, nothing else
    char chooserDir[PATH_BUFFER_SIZE];     // the chooser's proposal while it is open
    PathParts pathParts;

    // Scan state.
    PackageScan scan;
    int lastByte;
    int memberIndex;
    int sliceBytes;

    // Progress values.
    int32_t packageLength;
    int32_t overallFill;

#ifdef _WIN32
    // Handles and platform values, set once.
    HINSTANCE appInstance;
    HWND mainWindow;
    HWND dialogWindow;
    int newShell;
    DWORD ddeInstance;
    HMODULE ctl3dLibrary;
#endif
};

extern InstallSession session;

// Puts the engine's part of the session into its starting state. Closes
// nothing; leaves the destination, both options, the handles and the scratch
// buffers alone.
void ResetSession();
