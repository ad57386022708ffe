#include "mapferry/convert/names_io.h"

#include <algorithm>
#include <cstring>

#include "formats/little_endian.h"
#include "mapferry/convert/file_services.h"

namespace convert_io {

namespace {

constexpr size_t kReadBufferSize = 0x10000;
constexpr size_t kWriteBufferSize = 0x40000;

// The device files this thread has open.
thread_local std::vector<OutputFile*> t_openOutputs;

void CloseOpenOutputs() {
    while (!t_openOutputs.empty()) {
        t_openOutputs.back()->Abort();
    }
}

}  // namespace

void Fail(int line) {
    CloseOpenOutputs();
    ReportInternalError(0, line);
}

void Fail(LPCWSTR text, int line) {
    CloseOpenOutputs();
    ReportInternalErrorFile(0, text, line);
}

void FailWrite(LPCWSTR temporaryFolder) {
    CloseOpenOutputs();
    ReportLowDiskSpace(kErrorClassWrite, temporaryFolder);
}

std::u16string JoinFolder(LPCWSTR folder, std::u16string_view name) {
    std::u16string path(folder ? folder : u"");
    const char16_t separator = !path.empty() && path.front() == u'/' ? u'/' : u'\\';
    if (!path.empty() && path.back() != u'\\' && path.back() != u'/') {
        path += separator;
    }
    path += name;
    return path;
}

void EndRunAfterCorruptedFile() {
    CloseOpenOutputs();
    g_internalErrorFlag.store(1);
    const std::u16string folder = GetTemporaryFolder();
    if (!folder.empty()) {
        DeleteFolderTree(folder.c_str());
    }
    ExitProcess(kReportExitCode);
}

// ---- SourceFile ------------------------------------------------------------------

bool SourceFile::Open(const std::u16string& path) {
    Close();
    if (!m_file.Open(path.c_str(), CFile::modeRead | CFile::shareDenyNone | CFile::typeBinary)) {
        return false;
    }
    try {
        m_length = m_file.GetLength();
    } catch (CException* error) {
        error->Delete();
        m_file.Abort();
        return false;
    }
    m_open = true;
    m_position = 0;
    m_bufferStart = 0;
    m_bufferUsed = 0;
    m_buffer.clear();
    m_streamMoved = false;
    return true;
}

void SourceFile::Close() {
    if (m_open) {
        m_file.Abort();
    }
    m_open = false;
    m_buffer.clear();
    m_bufferUsed = 0;
}

void SourceFile::CheckMagic(const char* magic) {
    if (!m_open || !Seek(0)) {
        EndRunAfterCorruptedFile();
    }
    m_streamMoved = true;  // ReportCorruptedFile reads the stream itself
    try {
        m_file.Seek(0, CFile::begin);
    } catch (CException* error) {
        error->Delete();
    }
    if (ReportCorruptedFile(m_file, magic) != 0) {
        EndRunAfterCorruptedFile();
    }
    m_position = 4;
    m_buffer.clear();
    m_bufferUsed = 0;
}

bool SourceFile::Read(void* destination, size_t count) {
    if (!m_open) {
        return false;
    }
    uint8_t* out = static_cast<uint8_t*>(destination);
    while (count > 0) {
        if (m_position >= m_bufferStart && m_position < m_bufferStart + m_buffer.size()) {
            const size_t at = static_cast<size_t>(m_position - m_bufferStart);
            const size_t take = std::min(count, m_buffer.size() - at);
            std::memcpy(out, m_buffer.data() + at, take);
            out += take;
            count -= take;
            m_position += take;
            continue;
        }
        if (m_position >= m_length) {
            return false;
        }
        // Refill from the current position.
        const bool follows = !m_streamMoved && m_bufferStart + m_buffer.size() == m_position;
        const size_t want = static_cast<size_t>(
            std::min<uint64_t>(std::max(count, kReadBufferSize), m_length - m_position));
        m_buffer.resize(want);
        size_t got = 0;
        try {
            if (!follows) {
                m_file.Seek(static_cast<LONGLONG>(m_position), CFile::begin);
            }
            m_streamMoved = false;
            while (got < want) {
                const UINT step = static_cast<UINT>(std::min<size_t>(want - got, 0x40000000));
                const UINT read = m_file.Read(m_buffer.data() + got, step);
                if (read == 0) {
                    break;
                }
                got += read;
            }
        } catch (CException* error) {
            error->Delete();
            got = 0;
        }
        m_buffer.resize(got);
        m_bufferStart = m_position;
        if (got == 0) {
            return false;
        }
    }
    return true;
}

bool SourceFile::ReadU32(uint32_t* value) {
    uint8_t bytes[4];
    if (!Read(bytes, 4)) {
        return false;
    }
    *value = formats::LoadU32(bytes);
    return true;
}

bool SourceFile::Seek(uint64_t offset) {
    if (!m_open || offset > m_length) {
        return false;
    }
    m_position = offset;
    return true;
}

CFile* SourceFile::StreamAt(uint64_t offset) {
    if (!Seek(offset)) {
        return nullptr;
    }
    m_streamMoved = true;
    try {
        m_file.Seek(static_cast<LONGLONG>(offset), CFile::begin);
    } catch (CException* error) {
        error->Delete();
        return nullptr;
    }
    return &m_file;
}

// ---- OutputFile ------------------------------------------------------------------

OutputFile::~OutputFile() {
    Abort();
}

void OutputFile::Abort() {
    if (m_open) {
        m_file.Abort();
        m_open = false;
        std::erase(t_openOutputs, this);
    }
    m_buffer.clear();
}

bool OutputFile::Create(const std::u16string& path) {
    Abort();
    m_open = m_file.Open(path.c_str(), CFile::modeCreate | CFile::modeReadWrite |
                                           CFile::shareDenyWrite | CFile::typeBinary) != FALSE;
    if (m_open) {
        t_openOutputs.push_back(this);
    }
    m_written = 0;
    m_buffer.reserve(kWriteBufferSize);
    return m_open;
}

void OutputFile::Fail() {
    FailWrite(m_folder.c_str());
}

void OutputFile::Flush() {
    if (m_buffer.empty()) {
        return;
    }
    if (!m_open) {
        Fail();
    }
    try {
        m_file.Write(m_buffer.data(), static_cast<UINT>(m_buffer.size()));
    } catch (CException* error) {
        error->Delete();
        Fail();
    }
    m_written += m_buffer.size();
    m_buffer.clear();
}

void OutputFile::Write(const void* bytes, size_t count) {
    const uint8_t* in = static_cast<const uint8_t*>(bytes);
    while (count > 0) {
        const size_t take = std::min(count, kWriteBufferSize - m_buffer.size());
        m_buffer.insert(m_buffer.end(), in, in + take);
        in += take;
        count -= take;
        if (m_buffer.size() == kWriteBufferSize) {
            Flush();
        }
    }
}

void OutputFile::WriteU32(uint32_t value) {
    uint8_t bytes[4];
    formats::StoreU32(bytes, value);
    Write(bytes, 4);
}

void OutputFile::WriteAt(uint64_t offset, const void* bytes, size_t count) {
    if (count == 0) {
        return;
    }
    if (offset + count > Position()) {
        Fail();
    }
    // Bytes still in the buffer are patched there; the rest go to the file.
    const uint8_t* in = static_cast<const uint8_t*>(bytes);
    if (offset + count > m_written) {
        const uint64_t from = std::max(offset, m_written);
        const size_t skip = static_cast<size_t>(from - offset);
        std::memcpy(m_buffer.data() + (from - m_written), in + skip, count - skip);
        count = skip;
    }
    if (count == 0) {
        return;
    }
    if (!m_open) {
        Fail();
    }
    try {
        m_file.Seek(static_cast<LONGLONG>(offset), CFile::begin);
        m_file.Write(in, static_cast<UINT>(count));
        m_file.Seek(static_cast<LONGLONG>(m_written), CFile::begin);
    } catch (CException* error) {
        error->Delete();
        Fail();
    }
}

void OutputFile::Close() {
    Flush();
    if (!m_open) {
        return;
    }
    std::erase(t_openOutputs, this);
    m_open = false;
    try {
        m_file.Close();
    } catch (CException* error) {
        error->Delete();
        FailWrite(m_folder.c_str());
    }
}

}  // namespace convert_io
