#include "report/ZipPackage.h"

#include <zip.h>

#include <memory>

#include "data/Errors.h"

namespace halvetra {

namespace {

struct ArchiveDiscard {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using ArchivePtr = std::unique_ptr<zip_t, ArchiveDiscard>;

struct SourceFree {
    void operator()(zip_source_t* source) const { zip_source_free(source); }
};
using SourcePtr = std::unique_ptr<zip_source_t, SourceFree>;

[[noreturn]] void Fail(const QString& what, zip_error_t* error) {
    throw HalvetraError(QStringLiteral("Cannot write the report package (%1: %2)")
                            .arg(what, QString::fromUtf8(zip_error_strerror(error)))
                            .toStdString());
}

}  // namespace

std::optional<std::vector<ZipEntry>> ReadZip(const QByteArray& bytes) {
    if (bytes.isEmpty()) return std::nullopt;  // libzip would take it for an empty archive
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source =
        zip_source_buffer_create(bytes.constData(), static_cast<zip_uint64_t>(bytes.size()), 0, &error);
    if (source == nullptr) {
        zip_error_fini(&error);
        return std::nullopt;
    }
    ArchivePtr archive(zip_open_from_source(source, ZIP_RDONLY, &error));
    zip_error_fini(&error);
    if (!archive) {
        zip_source_free(source);
        return std::nullopt;
    }

    std::vector<ZipEntry> entries;
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive.get(), static_cast<zip_uint64_t>(i), 0, &stat) != 0) return std::nullopt;
        ZipEntry entry;
        entry.Name = QString::fromUtf8(stat.name);
        if (entry.Name.endsWith(u'/')) continue;
        entry.Stored = (stat.valid & ZIP_STAT_COMP_METHOD) && stat.comp_method == ZIP_CM_STORE;
        zip_file_t* file = zip_fopen_index(archive.get(), static_cast<zip_uint64_t>(i), 0);
        if (file == nullptr) return std::nullopt;
        entry.Data.resize(static_cast<qsizetype>(stat.size));
        const zip_int64_t read = zip_fread(file, entry.Data.data(), stat.size);
        zip_fclose(file);
        if (read < 0 || static_cast<zip_uint64_t>(read) != stat.size) return std::nullopt;
        entries.push_back(std::move(entry));
    }
    return entries;
}

const ZipEntry* FindEntry(const std::vector<ZipEntry>& entries, const QString& name) {
    for (const ZipEntry& entry : entries)
        if (entry.Name == name) return &entry;
    return nullptr;
}

QByteArray WriteZip(const std::vector<ZipEntry>& entries) {
    zip_error_t error;
    zip_error_init(&error);
    SourcePtr buffer(zip_source_buffer_create(nullptr, 0, 0, &error));
    if (!buffer) Fail(QStringLiteral("buffer"), &error);
    ArchivePtr archive(zip_open_from_source(buffer.get(), ZIP_TRUNCATE, &error));
    if (!archive) Fail(QStringLiteral("open"), &error);
    // The archive owns the buffer from here on; keep it alive past zip_close
    // to read the finished package out of it.
    zip_source_keep(buffer.get());

    for (const ZipEntry& entry : entries) {
        zip_source_t* data =
            zip_source_buffer(archive.get(), entry.Data.constData(), static_cast<zip_uint64_t>(entry.Data.size()), 0);
        if (data == nullptr) Fail(entry.Name, zip_get_error(archive.get()));
        const QByteArray name = entry.Name.toUtf8();
        const zip_int64_t index = zip_file_add(archive.get(), name.constData(), data, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(data);
            Fail(entry.Name, zip_get_error(archive.get()));
        }
        if (zip_set_file_compression(archive.get(), static_cast<zip_uint64_t>(index),
                                     entry.Stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 0) != 0)
            Fail(entry.Name, zip_get_error(archive.get()));
    }
    if (zip_close(archive.get()) != 0) Fail(QStringLiteral("close"), zip_get_error(archive.get()));
    archive.release();  // zip_close freed it

    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_source_stat(buffer.get(), &stat) != 0 || zip_source_open(buffer.get()) != 0)
        Fail(QStringLiteral("read back"), zip_source_error(buffer.get()));
    QByteArray bytes(static_cast<qsizetype>(stat.size), Qt::Uninitialized);
    const zip_int64_t read = zip_source_read(buffer.get(), bytes.data(), stat.size);
    zip_source_close(buffer.get());
    if (read < 0 || static_cast<zip_uint64_t>(read) != stat.size)
        Fail(QStringLiteral("read back"), zip_source_error(buffer.get()));
    zip_error_fini(&error);
    return bytes;
}

}  // namespace halvetra
