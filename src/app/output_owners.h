#pragma once
// Which target instance of the run writes which file.
//
// Two instances whose outputs name one file overwrite each other's work: a
// dependant of the first links what the second wrote, and each sees the
// other's rewrite on every run. So the walk notes the files every instance's
// recipes name as outputs, before any of its commands runs, and refuses the
// second instance that names a file already noted, as it refuses two sources
// of one target compiled to one object.

#include <string>
#include <unordered_map>
#include <vector>

class OutputOwners {
public:
    // Notes `owner` as the writer of each file. Throws TolmException naming
    // the earlier owner, `owner` and the file when another owner has one of
    // them; the same owner may name a file again.
    void claim(const std::vector<std::string>& files, const std::string& owner);

private:
    // Lexically normal path -> owner.
    std::unordered_map<std::string, std::string> owners_;
};
