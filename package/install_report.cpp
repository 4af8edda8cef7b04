#include "install_report.h"

#include <windows.h>

#include "install_session.h"
#include "text.h"

namespace {

const char kInstallFileUnreadable[] =
    "There seems to be a problem reading the installation file.\n\n"
    "Please try running the installation program again!";
const char kInstallFileCorrupt[] =
    "The installation file seems to be corrupt!\n\n"
    "Please try running the installation program again or download a new version!";
const char kCopy[] =
    "There seems to be a problem copying files to their destination.\n\n"
    "Please try running the installation program again!";

struct ErrorEntry {
    InstallError number;
    const char* text;
    const char* advice;   // after the files an error names
};

const ErrorEntry kErrors[] = {
    {ERROR_CREATE_DIRECTORY,
     "There seems to be a problem creating the directory you specified.\n\n"
     "Please try using a different directory name!", ""},
    {ERROR_READ_INSTALL_FILE, kInstallFileUnreadable, ""},
    {ERROR_COPY_FILE, kCopy, ""},
    {ERROR_DECODE_FILE, kCopy, ""},
    {ERROR_CREATE_BACKUP_DIRECTORY,
     "There seems to be a problem creating the backup directory.\n\n"
     "Please try installing to a different directory!", ""},
    {ERROR_BACK_UP_FILE,
     "There seems to be a problem backing up your original files.\n\n"
     "Please try installing to a different directory!", ""},
    {ERROR_OPEN_INSTALL_FILE, kInstallFileUnreadable, ""},
    {ERROR_EXTRACT_FILE,
     "There seems to be a problem extracting files from the installation file.\n\n"
     "Please try running the installation program again!", ""},
    {ERROR_CHECKSUM, kInstallFileCorrupt, ""},
    {ERROR_EMPTY_PACKAGE, kInstallFileCorrupt, ""},
    {ERROR_PROGRAM_GROUP,
     "There seems to be a problem adding Vexa icons to the Program Manager!\n\n"
     "Do you want me to try again?", ""},
    {ERROR_NOT_RESTORED,
     "There seems to be a problem putting your original files back.\n\n"
     "They are kept here:\n",
     "\n\nPlease close any program that uses Vexa and run the installation program again!"},
    {ERROR_KEPT_ASIDE,
     "Some of your original files could not be put back or moved into the backup folder.\n\n"
     "They are kept here:\n",
     "\n\nYou may move or rename them yourself."},
    {ERROR_JOURNAL_UNREADABLE,
     "A record of an earlier installation in this folder cannot be read:\n",
     "\n\nPlease close any program that may be using it and run the installation program again. If this "
     "message comes back, move the record out of the folder."},
};

const char* const kQuestions[] = {
    // QUESTION_KEEP_SETTINGS
    "The Vexa installation comes with INI files but if I install them you will lose your current "
    "Vexa settings.\n\nWould you like to KEEP your current Vexa settings?",
    // QUESTION_SPACES_IN_PATH
    "You have chosen to install to a directory path which has spaces in its name; this may affect the "
    "functioning of certain features in Vexa.\n\nIt is highly recommended that you install Vexa to a directory "
    "path that does NOT have spaces in its name.\n\nDo you wish to continue installing to this directory?",
    // QUESTION_ABORT
    "Are you sure you want to abort the installation?",
};

const char kSuccess[] =
    "Vexa Installation was successful!\n\n"
    "Please take the time to browse through the readme.txt, versions.txt, and vexa.hlp files!\n\n"
    "Have fun!";

const ErrorEntry* FindError(InstallError number)
{
    for (const ErrorEntry& entry : kErrors)
        if (entry.number == number)
            return &entry;
    return nullptr;
}

const InstallReport* current = nullptr;

const InstallReport* Current()
{
    return current ? current : DefaultInstallReport();
}

}  // namespace

const char kWarningCaption[] = "Vexa Installation Warning";
const char kSuccessCaption[] = "Vexa Installation";

const char* ErrorText(InstallError number)
{
    const ErrorEntry* entry = FindError(number);
    return entry ? entry->text : "";
}

const char* ErrorAdvice(InstallError number)
{
    const ErrorEntry* entry = FindError(number);
    return entry ? entry->advice : "";
}

void ErrorCaption(InstallError number, char* out)
{
    wsprintfA(out, "Vexa Installation Error [%d]", static_cast<int>(number));
}

const char* QuestionText(InstallQuestion question)
{
    return kQuestions[question];
}

void UseInstallReport(const InstallReport* report)
{
    current = report;
}

void ReportStatus(const char* text)
{
    Current()->showStatus(text);
}

void ReportOverallProgress(ByteStream* package)
{
    Current()->showOverallProgress(package);
}

void ReportError(InstallError number)
{
    Current()->showError(number, ErrorText(number));
}

void ReportErrorNaming(InstallError number, const char* files)
{
    char message[TEXT_BUFFER_SIZE + 400];
    JoinText(message, sizeof message, ErrorText(number), files, ErrorAdvice(number));
    Current()->showError(number, message);
}

bool AskYes(InstallQuestion question)
{
    return Current()->askYes(question, QuestionText(question));
}

bool AskRetry(InstallError number)
{
    return Current()->askRetry(number, ErrorText(number));
}

void ReportSuccess()
{
    Current()->showSuccess(kSuccess);
}

const FileProgress* ReportedFileProgress()
{
    return Current()->fileProgress;
}
