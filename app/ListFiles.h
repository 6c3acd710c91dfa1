// ListFiles: a list too long for a message, kept whole in a file.
//
// The write-back's stations left out and the run's stations left
// unchecked can run to tens of thousands: a message names the first ones
// and says where the whole list is, a file of the work folder (LocalDbDir),
// else of the temporary folder. Every user and program folder of the
// machine shares the temporary folder: the file there is named for this
// user and this work folder (a hash of its path, the same at every call,
// so that an earlier list is found again), is made for this user alone,
// and only a file of this user is written or removed there. No link is
// followed, in either folder: what it names is not ours to write over.
#pragma once

#include <string>

struct TListFile {
    std::string File;    // where the whole list is ("" when in no file)
    std::string Trouble; // what went amiss, in words ("" when nothing did)
};

// With ANeeded, writes AText into the file AName ("black2007-NotWritten.txt")
// of the work folder, else of the temporary folder; without, removes the
// files an earlier list left under that name, which read beside this
// message would be taken for its list. AWhose names the lists' maker in
// the words of Trouble ("write-back", "run").
TListFile KeepListFile(const std::string &AName, const std::string &AText, bool ANeeded, const std::string &AWhose);
