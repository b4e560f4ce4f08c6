#include "app/cache_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <iterator>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "app/cache_lines.h"
#include "app/cached_assignment_text.h"
#include "types/tolm_list.h"
#include "types/value_casts.h"
#include "util/log.h"
#include "util/temporary_file.h"

namespace {

namespace Messages {
// Load warnings (level 6); the first argument is the cache file.
constexpr const char* InvalidHeader = "Cache file '{}' has invalid header. Starting with empty cache.\n";
constexpr const char* UnsupportedHeader =
    "Cache file '{}' has unsupported header '{}'. Starting with empty cache.\n";
constexpr const char* InvalidRecordsCount = "Cache file '{}' has invalid records count. Starting with empty cache.\n";
constexpr const char* RecordKey = "Cache file '{}' is malformed (record key). Starting with empty cache.\n";
constexpr const char* RecipeCount = "Cache file '{}' is malformed (recipe count). Starting with empty cache.\n";
constexpr const char* InputsCount = "Cache file '{}' is malformed (inputs count). Starting with empty cache.\n";
constexpr const char* InputAssignment =
    "Cache file '{}' is malformed (input assignment). Starting with empty cache.\n";
constexpr const char* IntermediateFlag =
    "Cache file '{}' is malformed (input intermediate flag). Starting with empty cache.\n";
constexpr const char* IntermediateAssignment =
    "Cache file '{}' is malformed (input intermediate assignment). Starting with empty cache.\n";
constexpr const char* OutputsCount = "Cache file '{}' is malformed (outputs count). Starting with empty cache.\n";
constexpr const char* OutputAssignment =
    "Cache file '{}' is malformed (output assignment). Starting with empty cache.\n";
constexpr const char* ContextCount = "Cache file '{}' is malformed (env/context count). Starting with empty cache.\n";
constexpr const char* ContextAssignment =
    "Cache file '{}' is malformed (env/context assignment). Starting with empty cache.\n";
constexpr const char* Program = "Cache file '{}' is malformed (program). Starting with empty cache.\n";
constexpr const char* OutputTimesCount =
    "Cache file '{}' is malformed (output times count). Starting with empty cache.\n";
constexpr const char* OutputTime = "Cache file '{}' is malformed (output time). Starting with empty cache.\n";
constexpr const char* FingerprintsCount =
    "Cache file '{}' is malformed (output fingerprints count). Starting with empty cache.\n";
constexpr const char* Fingerprint =
    "Cache file '{}' is malformed (output fingerprint). Starting with empty cache.\n";
constexpr const char* InputTimesCount =
    "Cache file '{}' is malformed (input times count). Starting with empty cache.\n";
constexpr const char* InputTime = "Cache file '{}' is malformed (input time). Starting with empty cache.\n";
constexpr const char* NotRegular =
    "Cache file '{}' is not a regular file and is left as it is. Starting with empty cache.\n";
// Save notes (level 6): the record key, the value's text and its variable.
constexpr const char* NotStorable =
    "Target '{}' is rebuilt on every run: its value '{}' of '{}' cannot be stored in the cache file.\n";

// Save errors (level 7).
constexpr const char* CreateDirectory = "Unable to create cache directory '{}': {}\n";
constexpr const char* OpenForWriting = "Unable to open cache file '{}' for writing: {}\n";
constexpr const char* Flush = "Unable to flush cache file '{}': {}\n";
constexpr const char* Replace = "Unable to replace cache file '{}' with '{}': {}\n";
}  // namespace Messages

// The header of each format the reader knows, by version; only the newest
// is written.
constexpr std::string_view Headers[] = {"TOLM_CACHE_V3", "TOLM_CACHE_V4", "TOLM_CACHE_V5", "TOLM_CACHE_V6",
                                        "TOLM_CACHE_V7"};
constexpr int OldestVersion = 3;
constexpr int NewestVersion = OldestVersion + static_cast<int>(std::size(Headers)) - 1;

// The version a header line names; 0 for none the reader knows.
int versionOf(std::string_view header)
{
    for (std::size_t i = 0; i < std::size(Headers); ++i)
        if (header == Headers[i]) return OldestVersion + static_cast<int>(i);
    return 0;
}

// The line that opens the made files after the last record, and the latest
// write time a made file may have there, in seconds since 1970.
constexpr std::string_view MadeFilesLine = "MADE_FILES";
constexpr std::uint64_t MaxMadeSeconds = std::uint64_t{1} << 40;

// The fewest bytes an assignment takes in the file ("A 0 0\n0\n\n"), a
// record ("0\n\n0\n0\n") and an output time ("-\n"): no list is sized beyond
// what the rest could hold.
constexpr std::size_t MinAssignmentBytes = 9;
constexpr std::size_t MinRecordBytes = 7;
constexpr std::size_t MinTimeBytes = 2;

// The first element that broke its rule; ends the load.
struct Malformed {
    const char* message;
};

template <typename T>
T need(std::optional<T> element, const char* message)
{
    if (!element) throw Malformed{message};
    return std::move(*element);
}

// Reads the records that follow the header of a file of one version.
class RecordParser {
public:
    RecordParser(CacheReader& in, int version) : in_(in), version_(version) {}

    void readRecords(std::uint64_t count, RuntimeRecordMap& records)
    {
        records.reserve(std::min<std::uint64_t>(count, in_.remaining() / MinRecordBytes));
        for (std::uint64_t i = 0; i < count; ++i) readRecord(records);
    }

private:
    std::size_t plausible(std::uint64_t count, std::size_t bytesEach) const
    {
        return static_cast<std::size_t>(std::min<std::uint64_t>(count, in_.remaining() / bytesEach));
    }

    std::vector<Tolm::Assignment> readAssignments(const char* countMessage, const char* assignmentMessage)
    {
        const std::uint64_t count = need(readCacheNumber(in_), countMessage);
        std::vector<Tolm::Assignment> assignments;
        assignments.reserve(plausible(count, MinAssignmentBytes));
        for (std::uint64_t i = 0; i < count; ++i)
            assignments.push_back(need(readCacheAssignment(in_), assignmentMessage));
        return assignments;
    }

    Tolm::CachedInput readInput()
    {
        Tolm::CachedInput entry;
        entry.input = need(readCacheAssignment(in_), Messages::InputAssignment);
        if (version_ < 5) return entry;
        const std::uint64_t flag = need(readCacheNumber(in_), Messages::IntermediateFlag);
        if (flag > 1) throw Malformed{Messages::IntermediateFlag};
        if (flag == 1) entry.intermediate = need(readCacheAssignment(in_), Messages::IntermediateAssignment);
        return entry;
    }

    StoredRecipe readRecipe()
    {
        StoredRecipe recipe;
        const std::uint64_t inputs = need(readCacheNumber(in_), Messages::InputsCount);
        recipe.inputs.reserve(plausible(inputs, MinAssignmentBytes));
        for (std::uint64_t i = 0; i < inputs; ++i) recipe.inputs.push_back(readInput());
        recipe.outputs = readAssignments(Messages::OutputsCount, Messages::OutputAssignment);
        if (version_ < 6) return recipe;
        recipe.outputTimes = readTimes(Messages::OutputTimesCount, Messages::OutputTime);
        if (version_ < 7) return recipe;
        const std::uint64_t fingerprints = need(readCacheNumber(in_), Messages::FingerprintsCount);
        recipe.outputFingerprints.reserve(plausible(fingerprints, MinTimeBytes));
        for (std::uint64_t i = 0; i < fingerprints; ++i)
            recipe.outputFingerprints.push_back(need(readCacheFingerprint(in_), Messages::Fingerprint));
        recipe.inputTimes = readTimes(Messages::InputTimesCount, Messages::InputTime);
        return recipe;
    }

    std::vector<FileTime> readTimes(const char* countMessage, const char* timeMessage)
    {
        const std::uint64_t count = need(readCacheNumber(in_), countMessage);
        std::vector<FileTime> times;
        times.reserve(plausible(count, MinTimeBytes));
        for (std::uint64_t i = 0; i < count; ++i) times.push_back(need(readCacheTime(in_), timeMessage));
        return times;
    }

    void readRecord(RuntimeRecordMap& records)
    {
        std::string key(need(readCacheString(in_), Messages::RecordKey));
        auto record = std::make_shared<Tolm::RuntimeRecord>();
        if (version_ >= 6) record->program = need(readCacheString(in_), Messages::Program);
        const std::uint64_t recipes = need(readCacheNumber(in_), Messages::RecipeCount);
        for (std::uint64_t i = 0; i < recipes; ++i) {
            StoredRecipe recipe = readRecipe();
            // A second recipe with the same inputs is dropped.
            const std::uint64_t recipeKey = hashCacheInputs(recipe.inputs);
            record->recipes.insert(recipeKey, std::move(recipe));
        }
        record->context = readAssignments(Messages::ContextCount, Messages::ContextAssignment);
        if (version_ == 3) record->context.clear();
        // A later record under the same key (ignoring case) replaces the
        // earlier one, key spelling included.
        records.erase(Util::CiString(key));
        records.emplace(std::move(key), std::move(record));
    }

    CacheReader& in_;
    int version_;
};

// The made files that follow the records, each list into its record. A
// list that breaks a rule ends the reading and leaves every record without
// one: its failed jobs then keep what their targets read, as they would
// without a history.
void readMadeFiles(CacheReader& in, RuntimeRecordMap& records)
{
    if (in.remaining() == 0 || in.line() != MadeFilesLine) return;
    std::vector<std::pair<Tolm::RuntimeRecord*, std::vector<MadeFile>>> lists;
    const std::optional<std::uint64_t> count = readCacheNumber(in);
    for (std::uint64_t i = 0; count && i < *count; ++i) {
        const std::optional<std::string_view> key = readCacheString(in);
        const std::optional<std::uint64_t> files = key ? readCacheNumber(in) : std::nullopt;
        if (!files) return;
        std::vector<MadeFile> list;
        for (std::uint64_t j = 0; j < *files; ++j) {
            const std::optional<std::string_view> file = readCacheString(in);
            const std::optional<std::uint64_t> seconds = file ? readCacheNumber(in) : std::nullopt;
            const std::optional<std::uint64_t> nanoseconds = seconds ? readCacheNumber(in) : std::nullopt;
            const std::optional<std::uint64_t> inode = nanoseconds ? readCacheNumber(in) : std::nullopt;
            const std::optional<std::uint64_t> size = inode ? readCacheNumber(in) : std::nullopt;
            if (!size || *seconds > MaxMadeSeconds || *nanoseconds >= 1000000000 ||
                *size > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()))
                return;
            list.push_back(MadeFile{std::string(*file),
                                    {static_cast<time_t>(*seconds), static_cast<long>(*nanoseconds)},
                                    static_cast<ino_t>(*inode), static_cast<off_t>(*size)});
        }
        const auto byPath = [](const MadeFile& a, const MadeFile& b) { return a.path < b.path; };
        std::stable_sort(list.begin(), list.end(), byPath);
        list.erase(std::unique(list.begin(), list.end(),
                               [](const MadeFile& a, const MadeFile& b) { return a.path == b.path; }),
                   list.end());
        auto found = records.find(Util::CiString(std::string(*key)));
        if (found != records.end()) lists.emplace_back(found->second.get(), std::move(list));
    }
    if (!count) return;
    for (auto& [record, list] : lists) record->madeFiles = std::move(list);
}

// What is at the cache path.
struct FileContent {
    enum Kind { Missing, NotRegular, Bytes } kind = Missing;
    std::string bytes;
};

// Reads the file without ever blocking: a FIFO or a device at the path is
// reported, not opened for reading its content.
FileContent readCacheBytes(const std::filesystem::path& file)
{
    struct stat status;
    if (stat(file.c_str(), &status) != 0) return {};
    if (!S_ISREG(status.st_mode)) return {FileContent::NotRegular, {}};
    const int in = open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (in < 0) return {};
    FileContent content{FileContent::Bytes, {}};
    if (fstat(in, &status) != 0 || !S_ISREG(status.st_mode)) content.kind = FileContent::NotRegular;
    char chunk[65536];
    while (content.kind == FileContent::Bytes) {
        const ssize_t got = read(in, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) content.kind = FileContent::Missing;
        if (got <= 0) break;
        content.bytes.append(chunk, static_cast<std::size_t>(got));
    }
    close(in);
    return content;
}

// The first rule a file broke: its warning, and for an unsupported header
// the header line.
struct LoadFailure {
    const char* message;
    std::optional<std::string_view> header;
};

// `version` gets the file's version once its header is known.
std::optional<LoadFailure> parseCacheFile(std::string_view bytes, RuntimeRecordMap& records, int& version)
{
    CacheReader in(bytes);
    auto header = in.line();
    if (!header) return LoadFailure{Messages::InvalidHeader, {}};
    version = versionOf(*header);
    if (version == 0) return LoadFailure{Messages::UnsupportedHeader, header};
    auto count = readCacheNumber(in);
    if (!count) return LoadFailure{Messages::InvalidRecordsCount, {}};
    try {
        RecordParser(in, version).readRecords(*count, records);
    } catch (const Malformed& failure) {
        return LoadFailure{failure.message, {}};
    }
    if (version == NewestVersion) readMadeFiles(in, records);
    return std::nullopt;
}

void installRecords(BuildCache& cache, RuntimeRecordMap records)
{
    std::lock_guard lock(cache.mutex);
    cache.records = std::move(records);
    cache.nextClaimToken = 1;
    cache.run = RunChecks{};
}

// What the save writes of one record, copied under its lock.
struct RecordCopy {
    std::string key;
    std::vector<StoredRecipe> recipes;  // in the record's order
    std::vector<Tolm::Assignment> context;
    std::string program;
    std::vector<MadeFile> madeFiles;
};

std::vector<RecordCopy> snapshotRecords(BuildCache& cache)
{
    std::vector<RecordCopy> copies;
    {
        // The cache's lock first, then each record's: the one order that
        // may hold both.
        std::lock_guard cacheLock(cache.mutex);
        copies.reserve(cache.records.size());
        for (const auto& [key, record] : cache.records) {
            std::lock_guard recordLock(record->mutex);
            RecordCopy& copy =
                copies.emplace_back(RecordCopy{key.str(), {}, record->context, record->program, record->madeFiles});
            copy.recipes.reserve(record->recipes.size());
            for (const auto& entry : record->recipes) copy.recipes.push_back(entry.second);
        }
    }
    std::sort(copies.begin(), copies.end(),
              [](const RecordCopy& a, const RecordCopy& b) { return a.key < b.key; });
    return copies;
}

// The text to name for an assignment without a stored form: in a list, the
// first item that has none.
std::string unstorableText(const Tolm::TolmValuePtr& value)
{
    if (!value) return std::string();
    if (const auto* list = Tolm::valueAs<Tolm::TolmList>(value.get())) {
        for (const Tolm::TolmValuePtr& item : list->items())
            if (item && !cacheLiteral(*item)) return unstorableText(item);
    }
    return value->toString();
}

// Appends the record in file form; false, appending nothing, when one of its
// assignments has no text, which is said at level 6.
bool renderRecord(const RecordCopy& record, std::string& out)
{
    const std::size_t start = out.size();
    const auto assignment = [&](const Tolm::Assignment& element) {
        if (appendCacheAssignment(out, element)) return true;
        out.resize(start);
        Log::log(LogLevel::Warning, fmt::runtime(Messages::NotStorable), record.key, unstorableText(element.value),
                 element.name);
        return false;
    };
    appendCacheString(out, record.key);
    appendCacheString(out, record.program);
    appendCacheCount(out, record.recipes.size());
    for (const StoredRecipe& recipe : record.recipes) {
        appendCacheCount(out, recipe.inputs.size());
        for (const Tolm::CachedInput& entry : recipe.inputs) {
            if (!assignment(entry.input)) return false;
            appendCacheCount(out, entry.hasIntermediate() ? 1 : 0);
            if (entry.hasIntermediate() && !assignment(entry.intermediate)) return false;
        }
        appendCacheCount(out, recipe.outputs.size());
        for (const Tolm::Assignment& output : recipe.outputs)
            if (!assignment(output)) return false;
        appendCacheCount(out, recipe.outputTimes.size());
        for (const FileTime& time : recipe.outputTimes) appendCacheTime(out, time);
        appendCacheCount(out, recipe.outputFingerprints.size());
        for (const Fingerprint& fingerprint : recipe.outputFingerprints) appendCacheFingerprint(out, fingerprint);
        appendCacheCount(out, recipe.inputTimes.size());
        for (const FileTime& time : recipe.inputTimes) appendCacheTime(out, time);
    }
    appendCacheCount(out, record.context.size());
    for (const Tolm::Assignment& element : record.context)
        if (!assignment(element)) return false;
    return true;
}

// The whole file's content.
std::string renderCacheFile(std::vector<RecordCopy> records)
{
    std::string body;
    std::uint64_t written = 0;
    std::vector<const RecordCopy*> withMadeFiles;
    for (RecordCopy& record : records) {
        if (!renderRecord(record, body)) continue;
        ++written;
        // A time before 1970 has no form there: that file is the user's.
        std::erase_if(record.madeFiles, [](const MadeFile& file) {
            return file.written.tv_sec < 0 || static_cast<std::uint64_t>(file.written.tv_sec) > MaxMadeSeconds ||
                   file.size < 0;
        });
        if (!record.madeFiles.empty()) withMadeFiles.push_back(&record);
    }
    std::string content(Headers[NewestVersion - OldestVersion]);
    content += '\n';
    appendCacheCount(content, written);
    content += body;
    if (withMadeFiles.empty()) return content;
    content += MadeFilesLine;
    content += '\n';
    appendCacheCount(content, withMadeFiles.size());
    for (const RecordCopy* record : withMadeFiles) {
        appendCacheString(content, record->key);
        appendCacheCount(content, record->madeFiles.size());
        for (const MadeFile& file : record->madeFiles) {
            appendCacheString(content, file.path);
            appendCacheCount(content, static_cast<std::uint64_t>(file.written.tv_sec));
            appendCacheCount(content, static_cast<std::uint64_t>(file.written.tv_nsec));
            appendCacheCount(content, static_cast<std::uint64_t>(file.inode));
            appendCacheCount(content, static_cast<std::uint64_t>(file.size));
        }
    }
    return content;
}

std::string reason(int error) { return std::error_code(error, std::generic_category()).message(); }

}  // namespace

void loadBuildCache(BuildCache& cache)
{
    // A file that cannot be opened is no warning: there is none before the
    // first build.
    const FileContent content = readCacheBytes(cache.cacheFile);
    if (content.kind == FileContent::Bytes) return loadBuildCacheBytes(cache, content.bytes);
    if (content.kind == FileContent::NotRegular) {
        Log::log(LogLevel::Warning, fmt::runtime(Messages::NotRegular), cache.cacheFile.string());
        cache.leaveFileAlone = true;
    }
    cache.fileCurrent = false;
    installRecords(cache, {});
}

void loadBuildCacheBytes(BuildCache& cache, std::string_view bytes)
{
    RuntimeRecordMap records;
    int version = 0;
    const auto failure = parseCacheFile(bytes, records, version);
    cache.fileCurrent = !failure && version == NewestVersion;
    if (failure) {
        const std::string fileName = cache.cacheFile.string();
        if (failure->header)
            Log::log(LogLevel::Warning, fmt::runtime(failure->message), fileName, *failure->header);
        else
            Log::log(LogLevel::Warning, fmt::runtime(failure->message), fileName);
        // Nothing read before the damage is kept.
        records.clear();
    }
    installRecords(cache, std::move(records));
}

bool saveBuildCache(BuildCache& cache)
{
    // Nothing to render: the file holds what was loaded.
    if (cache.fileCurrent && !cache.stored) return true;
    const std::string content = renderCacheFile(snapshotRecords(cache));
    if (cache.leaveFileAlone) return true;

    const std::filesystem::path& cacheFile = cache.cacheFile;
    const std::filesystem::path directory = cacheFile.parent_path();
    if (!directory.empty()) {
        std::error_code error;
        std::filesystem::create_directories(directory, error);
        if (error) {
            Log::log(LogLevel::Error, fmt::runtime(Messages::CreateDirectory), directory.string(), error.message());
            return false;
        }
    }
    // A run that changed nothing leaves the file, and its time, as they are.
    const FileContent current = readCacheBytes(cacheFile);
    if (current.kind == FileContent::Bytes && current.bytes == content) return true;

    // Each save writes a file of its own and renames it over the cache file,
    // so two runs saving at once each put a whole file in place and the
    // cache file is never missing.
    std::filesystem::path temp;
    const int file = Util::createTemporaryBeside(cacheFile, temp);
    if (file < 0) {
        const int failure = errno;
        Log::log(LogLevel::Error, fmt::runtime(Messages::OpenForWriting), temp.string(), reason(failure));
        return false;
    }
    std::error_code error;
    if (const int failure = Util::writeAndClose(file, content)) {
        Log::log(LogLevel::Error, fmt::runtime(Messages::Flush), temp.string(), reason(failure));
        std::filesystem::remove(temp, error);
        return false;
    }
    std::filesystem::rename(temp, cacheFile, error);
    if (!error) return true;
    Log::log(LogLevel::Error, fmt::runtime(Messages::Replace), cacheFile.string(), temp.string(), error.message());
    std::filesystem::remove(temp, error);
    return false;
}
