#include "cscananswer.h"

#include "canswerbudget.h"

#include <QDir>
#include <QFile>
#include <QtEndian>

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

const qsizetype kBlockUnits = 8192;

// A file of our own that no name reaches, gone once closed.
int openUnlinked()
{
    const QByteArray dir = QFile::encodeName(QDir::tempPath());
#ifdef O_TMPFILE
    const int fd = ::open(dir.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0)
        return fd;
#endif
    // File systems without unnamed files: a fresh name, removed at once.
    QByteArray name = dir + "/bramix-answer-XXXXXX";
    const int named = ::mkostemp(name.data(), O_CLOEXEC);
    if (named >= 0)
        ::unlink(name.constData());
    return named;
}

bool writeAll(int fd, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

} // namespace

CScanAnswer::CScanAnswer() = default;

CScanAnswer::~CScanAnswer()
{
    m_text = QString(); // may view the mapping
    if (m_map)
        ::munmap(m_map, size_t(m_units) * 2);
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_charged > 0)
        CAnswerBudget::scan().release(m_charged);
}

CScanAnswer::Status CScanAnswer::begin(qint64 bodyBytes)
{
    m_bodyBytes = bodyBytes;
    m_status = bodyBytes < 4 ? Invalid : NeedMore;
    return m_status;
}

qint64 CScanAnswer::bytesWanted() const
{
    if (m_status != NeedMore)
        return 0;
    if (m_lengthGot < 4)
        return 4 - m_lengthGot;
    return qint64(m_units - m_unitsGot) * 2 - (m_haveOdd ? 1 : 0);
}

CScanAnswer::Status CScanAnswer::feed(const char *data, qint64 size)
{
    if (m_status != NeedMore)
        return m_status;
    while (m_lengthGot < 4 && size > 0) {
        m_lengthBytes[m_lengthGot++] = uchar(*data++);
        --size;
        if (m_lengthGot < 4)
            continue;
        const quint32 length = qFromBigEndian<quint32>(m_lengthBytes);
        if (length == 0xFFFFFFFFu) { // the null string
            m_status = Complete;
            return m_status;
        }
        if ((length & 1u) || qint64(length) > m_bodyBytes - 4) {
            m_status = Invalid;
            return m_status;
        }
        m_units = qsizetype(length / 2);
        // What cannot be held in memory goes to the file from the first byte.
        if (qint64(length) > MemoryBytes && !toFile()) {
            m_status = Invalid;
            return m_status;
        }
    }
    char16_t block[kBlockUnits];
    qsizetype count = 0;
    const auto put = [&](char16_t unit) {
        block[count++] = unit;
        ++m_unitsGot;
        if (count == kBlockUnits) {
            if (!store(block, count))
                return false;
            count = 0;
        }
        return true;
    };
    bool ok = true;
    if (m_haveOdd && size > 0 && m_unitsGot < m_units) {
        ok = put(char16_t((m_odd << 8) | uchar(*data)));
        m_haveOdd = false;
        ++data;
        --size;
    }
    while (ok && size >= 2 && m_unitsGot < m_units) {
        ok = put(qFromBigEndian<quint16>(data));
        data += 2;
        size -= 2;
    }
    if (ok && size == 1 && m_unitsGot < m_units) {
        m_odd = uchar(*data);
        m_haveOdd = true;
    }
    if (!ok || !store(block, count)) {
        m_status = Invalid;
        return m_status;
    }
    if (m_lengthGot == 4 && m_unitsGot == m_units)
        m_status = Complete;
    return m_status;
}

bool CScanAnswer::store(const char16_t *units, qsizetype count)
{
    if (count == 0)
        return true;
    if (m_head.size() < HeadUnits)
        m_head.append(reinterpret_cast<const QChar *>(units), qMin(count, HeadUnits - m_head.size()));
    if (m_fd < 0) {
        // Charged as it comes; once the budget is full the answer goes on in a file.
        if (CAnswerBudget::scan().tryTake(count * 2)) {
            m_charged += count * 2;
            m_memory.append(reinterpret_cast<const QChar *>(units), count);
            return true;
        }
        if (!toFile())
            return false;
    }
    return writeAll(m_fd, reinterpret_cast<const char *>(units), count * 2);
}

bool CScanAnswer::toFile()
{
    m_fd = openUnlinked();
    if (m_fd < 0)
        return false;
    const bool written = writeAll(m_fd, reinterpret_cast<const char *>(m_memory.constData()), m_memory.size() * 2);
    m_memory = QString();
    CAnswerBudget::scan().release(m_charged);
    m_charged = 0;
    return written;
}

bool CScanAnswer::finish()
{
    if (m_status != Complete)
        return false;
    if (m_fd < 0) {
        m_text = m_memory;
        return true;
    }
    void *map = ::mmap(nullptr, size_t(m_units) * 2, PROT_READ, MAP_SHARED, m_fd, 0);
    if (map == MAP_FAILED)
        return false;
    m_map = map;
    m_text = QString::fromRawData(static_cast<const QChar *>(map), m_units);
    return true;
}
