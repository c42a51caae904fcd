#include "export/FileAssembly.h"

#include "export/OutputFile.h"

namespace oxel {

ByteWriter& FileAssembly::bytes()
{
    if (runs_.empty() || runs_.back().isFile) runs_.emplace_back();
    return runs_.back().bytes;
}

void FileAssembly::appendFile(const std::filesystem::path& path, uint64_t length)
{
    runs_.push_back(Run{{}, path, length, true});
}

void FileAssembly::append(const FileAssembly& other)
{
    for (const Run& run : other.runs_) {
        if (run.isFile)
            runs_.push_back(run);
        else
            bytes().append(run.bytes.bytes);
    }
}

uint64_t FileAssembly::length() const
{
    uint64_t total = 0;
    for (const Run& run : runs_) total += run.isFile ? run.fileLength : run.bytes.size();
    return total;
}

void FileAssembly::writeTo(OutputFile& out) const
{
    for (const Run& run : runs_) {
        if (run.isFile)
            oxel::appendFile(run.file, out);
        else
            out.write(run.bytes.bytes.data(), run.bytes.size());
    }
}

} // namespace oxel
