#include "app/RecentFileList.h"

#include "base/QtText.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <algorithm>

namespace {

QString EntryKey(int nIndex)
{
    return QStringLiteral("File%1").arg(nIndex + 1);
}

} // namespace

CRecentFileList::CRecentFileList(std::string strProfile, int nSize)
    : m_strProfile(std::move(strProfile))
    , m_nSize(std::max(nSize, 0))
{}

void CRecentFileList::Add(const std::string& path)
{
    if (path.empty() || m_nSize == 0) {
        return;
    }
    std::erase(m_entries, path);
    m_entries.insert(m_entries.begin(), path);
    if (m_entries.size() > static_cast<std::size_t>(m_nSize)) {
        m_entries.resize(static_cast<std::size_t>(m_nSize));
    }
}

void CRecentFileList::ReadList()
{
    m_entries.clear();
    QSettings profile(ToQString(m_strProfile), QSettings::IniFormat);
    profile.beginGroup(ToQString(kSection));
    for (int i = 0; i < m_nSize; ++i) {
        const QByteArray path = profile.value(EntryKey(i)).toByteArray();
        if (!path.isEmpty()) {
            m_entries.push_back(path.toStdString());
        }
    }
}

bool CRecentFileList::WriteList() const
{
    const QString file = ToQString(m_strProfile);
    QDir().mkpath(QFileInfo(file).absolutePath());
    QSettings profile(file, QSettings::IniFormat);
    profile.beginGroup(ToQString(kSection));
    profile.remove(QString());
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        profile.setValue(EntryKey(static_cast<int>(i)), QByteArray::fromStdString(m_entries[i]));
    }
    profile.endGroup();
    profile.sync();
    return profile.status() == QSettings::NoError;
}
