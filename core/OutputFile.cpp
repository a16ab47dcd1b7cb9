#include "OutputFile.h"

#include "Errors.h"

#include <random>
#include <string>

namespace fs = std::filesystem;

namespace {

std::unique_ptr<TFileStream> CreateTemp(const fs::path &folder, const std::string &stem,
                                        fs::path &temp)
{
    static thread_local std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0;; ++attempt) {
        temp = folder / ("." + stem + "." + std::to_string(random() % 1000000000) + ".part");
        try {
            return std::make_unique<TFileStream>(temp, fmCreateNew);
        } catch (const EFOpenError &) {
            std::error_code ec;
            if (attempt >= 16 || !fs::exists(temp, ec)) {
                throw;
            }
        }
    }
}

} // namespace

TOutputFile::TOutputFile(const fs::path &target) : target_(target)
{
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    stream_ = CreateTemp(folder, target.filename().string(), temp_);
}

TOutputFile::~TOutputFile()
{
    if (!committed_) {
        stream_.reset();
        std::error_code ec;
        fs::remove(temp_, ec);
    }
}

void TOutputFile::Commit()
{
    stream_.reset();
    std::error_code ec;
    fs::rename(temp_, target_, ec);
    if (ec) {
        throw EWriteError(ec.value());
    }
    committed_ = true;
}

bool SameFile(const fs::path &a, const fs::path &b)
{
    std::error_code ec;
    return fs::equivalent(a, b, ec) && !ec;
}
