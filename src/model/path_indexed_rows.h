#pragma once

#include "model/move_task.h"

#include <QHash>
#include <QVector>
#include <algorithm>

// An ordered list of rows with a stable id per row and an index from source
// path to rows, kept in step with every change. Rows are only ever appended
// at the end, so ids grow with the position and a position is found from an
// id by binary search. Row must have a QString member sourcePath.
template<typename Row>
class PathIndexedRows
{
public:
    int size() const { return int(m_entries.size()); }
    const Row &at(int pos) const { return m_entries.at(pos).row; }
    RowRef idAt(int pos) const { return m_entries.at(pos).id; }

    // The position of the row with this id, or -1 when it is gone.
    int positionOf(RowRef id) const
    {
        if (id == NoRow)
            return -1;
        const auto it = std::lower_bound(m_entries.cbegin(), m_entries.cend(), id,
                                         [](const Entry &e, RowRef v) { return e.id < v; });
        if (it == m_entries.cend() || it->id != id)
            return -1;
        return int(it - m_entries.cbegin());
    }

    // The number of rows appended after the row with id `after` (which may
    // be gone) up to and including the one with id `last`.
    int countBetween(RowRef after, RowRef last) const
    {
        const auto firstAbove = [this](RowRef id) {
            return std::upper_bound(m_entries.cbegin(), m_entries.cend(), id,
                                    [](RowRef v, const Entry &e) { return v < e.id; });
        };
        return qMax(0, int(firstAbove(last) - firstAbove(after)));
    }

    // The position of the first row appended after the row with id `after`
    // (which may be gone); size() when there is none.
    int positionAfter(RowRef after) const
    {
        return int(std::upper_bound(m_entries.cbegin(), m_entries.cend(), after,
                                    [](RowRef v, const Entry &e) { return v < e.id; })
                   - m_entries.cbegin());
    }

    // The first row, in list order, whose source path equals path exactly.
    int findFirst(const QString &path) const
    {
        const auto it = m_index.constFind(path);
        if (it == m_index.cend() || it->isEmpty())
            return -1;
        return positionOf(it->first());
    }

    RowRef append(const Row &row)
    {
        const RowRef id = m_nextId++;
        m_entries.push_back(Entry {id, row});
        m_index[row.sourcePath].push_back(id); // ids grow, so each list stays sorted
        return id;
    }

    void removeAt(int pos)
    {
        const Entry &e = m_entries.at(pos);
        unindex(e.row.sourcePath, e.id);
        m_entries.remove(pos);
    }

    void clear()
    {
        m_entries.clear();
        m_index.clear();
    }

    // Changes a row in place; the index follows a changed source path.
    template<typename Fn>
    void edit(int pos, Fn &&fn)
    {
        Entry &e = m_entries[pos];
        const QString before = e.row.sourcePath;
        fn(e.row);
        if (e.row.sourcePath != before) {
            unindex(before, e.id);
            auto &ids = m_index[e.row.sourcePath];
            ids.insert(std::lower_bound(ids.begin(), ids.end(), e.id), e.id);
        }
    }

private:
    struct Entry
    {
        RowRef id;
        Row row;
    };

    void unindex(const QString &path, RowRef id)
    {
        auto it = m_index.find(path);
        if (it == m_index.end())
            return;
        auto &ids = *it;
        const auto pos = std::lower_bound(ids.begin(), ids.end(), id);
        if (pos != ids.end() && *pos == id)
            ids.erase(pos);
        if (ids.isEmpty())
            m_index.erase(it);
    }

    QVector<Entry> m_entries;
    QHash<QString, QVector<RowRef>> m_index;
    RowRef m_nextId = 1;
};
