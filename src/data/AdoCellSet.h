// An OLAP cell set: the axes of an MDX result (positions, each a tuple of members with captions)
// and its cells by ordinal. The cell set itself is provider-neutral; OLAP providers (the embedded
// cube engine, an XMLA client) register under their "Provider=" name and produce the data, and
// the data source and grid read it through this one class.
#pragma once

#include <compare>
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "data/Variant.h"

// A member property DIMENSION PROPERTIES asked for: "Store Sqft", "PARENT_UNIQUE_NAME".
struct CellSetProperty {
    std::string Name;
    Variant Value;
};

// One member of a position on an axis.
struct CellSetMember {
    std::string Caption;
    std::string UniqueName;
    std::string Name;  // MEMBER_NAME: the member's own name, without its ancestors
    std::string LevelUniqueName;
    int LevelNumber = 0;           // 0 for the top level (the All member when there is one)
    std::string ParentUniqueName;  // "" for a member of the top level
    // The properties the axis asked for that this member has, in the order asked; one its level
    // lacks is left out, as the property of another level or the parent of a top member.
    std::vector<CellSetProperty> Properties;
};

// A property an axis asks for, as it applies to the members of one hierarchy.
struct CellSetPropertyInfo {
    std::string Name;        // as CellSetProperty::Name
    std::string UniqueName;  // "[Gender].[PARENT_UNIQUE_NAME]", "[Store].[Store Name].[Store Sqft]"
    VariantType Type = VariantType::String;
    // One every member has by what it is (MEMBER_NAME, PARENT_UNIQUE_NAME, ...): the cell set
    // says it for protocols that ask, while grids and row fields, which show the member already,
    // leave it out.
    bool Intrinsic = false;
};

// The hierarchy of one member of an axis's tuples and the properties asked of its members.
struct CellSetHierarchyInfo {
    std::string UniqueName;
    std::vector<CellSetPropertyInfo> Properties;
};

// The members of one tuple. A member shows up in many tuples of an axis (a day beside each of
// a hundred thousand customers), so tuples share one description of it: an axis costs what its
// distinct members cost, and copying a cell set copies no text. Read as a vector of members.
class CellSetMembers {
  public:
    using Shared = std::shared_ptr<const CellSetMember>;

    class const_iterator {
      public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = CellSetMember;
        using difference_type = std::ptrdiff_t;
        using pointer = const CellSetMember*;
        using reference = const CellSetMember&;

        const_iterator() = default;
        explicit const_iterator(std::vector<Shared>::const_iterator at) : at_(at) {}
        reference operator*() const { return **at_; }
        pointer operator->() const { return at_->get(); }
        reference operator[](difference_type n) const { return *at_[n]; }
        const_iterator& operator++() { return ++at_, *this; }
        const_iterator operator++(int) { return const_iterator(at_++); }
        const_iterator& operator--() { return --at_, *this; }
        const_iterator operator--(int) { return const_iterator(at_--); }
        const_iterator& operator+=(difference_type n) { return at_ += n, *this; }
        const_iterator& operator-=(difference_type n) { return at_ -= n, *this; }
        const_iterator operator+(difference_type n) const { return const_iterator(at_ + n); }
        const_iterator operator-(difference_type n) const { return const_iterator(at_ - n); }
        difference_type operator-(const const_iterator& other) const { return at_ - other.at_; }
        auto operator<=>(const const_iterator&) const = default;

      private:
        std::vector<Shared>::const_iterator at_;
    };

    CellSetMembers() = default;
    CellSetMembers(std::initializer_list<CellSetMember> members) {
        for (const CellSetMember& member : members) push_back(member);
    }

    size_t size() const { return members_.size(); }
    bool empty() const { return members_.empty(); }
    const CellSetMember& operator[](size_t index) const { return *members_[index]; }
    const CellSetMember& at(size_t index) const { return *members_.at(index); }
    const CellSetMember& front() const { return *members_.front(); }
    const CellSetMember& back() const { return *members_.back(); }
    const_iterator begin() const { return const_iterator(members_.begin()); }
    const_iterator end() const { return const_iterator(members_.end()); }

    void push_back(CellSetMember member) {
        members_.push_back(std::make_shared<const CellSetMember>(std::move(member)));
    }
    // Adds a description other tuples share.
    void push_back(Shared member) { members_.push_back(std::move(member)); }
    void Append(const CellSetMembers& more) {
        members_.insert(members_.end(), more.members_.begin(), more.members_.end());
    }
    void reserve(size_t count) { members_.reserve(count); }
    // Shortens the tuple to `count` members, or lengthens it with empty ones.
    void resize(size_t count) {
        if (count <= members_.size()) return members_.resize(count);
        while (members_.size() < count) push_back(CellSetMember());
    }
    void clear() { members_.clear(); }
    // The member at `index`, to change: a copy of its own takes its place first, so the tuples
    // that shared the description keep it as it was.
    CellSetMember& Edit(size_t index) {
        auto copy = std::make_shared<CellSetMember>(*members_.at(index));
        CellSetMember& editable = *copy;
        members_[index] = std::move(copy);
        return editable;
    }

  private:
    std::vector<Shared> members_;
};

// One tuple on an axis.
struct CellSetPosition {
    CellSetMembers Members;
};

struct CellSetAxis {
    std::vector<CellSetPosition> Positions;
    // One per member of a tuple, in tuple order; empty when the provider does not say (or the
    // axis has no positions).
    std::vector<CellSetHierarchyInfo> Hierarchies;
};

struct CellSetCell {
    Variant Value;
    std::string FormattedValue;
};

// A whole result: axis 0 is columns, axis 1 rows, axis 2 pages; cell ordinal = the positions'
// indexes with axis 0 varying fastest. The slicer holds the tuples of the WHERE clause: one empty
// tuple when there is none, no tuple at all for an empty set.
struct CellSetData {
    std::vector<CellSetAxis> Axes;
    CellSetAxis Slicer;
    std::vector<CellSetCell> Cells;
    // What the provider worked around on the way (see OlapConnection::TakeWarnings), for the log.
    std::vector<std::string> Warnings;
    // What it chose on the way (see OlapConnection::TakeNotes), for a log that asks for detail.
    std::vector<std::string> Notes;
};

class CADOMDCellSet {
  public:
    // A closed cell set; query and last error text empty, last error code 0.
    CADOMDCellSet() = default;

    // Closes any open result, remembers `query` and runs it through the provider the connection
    // string names (the cell set opens its own connection). Throws CADOException; the last error
    // text and code stay readable afterwards. Relative file names in the string are taken from
    // `programFolder` (the working folder when none is given).
    bool Open(const std::string& query, const std::string& connectionString,
              const std::string& programFolder = {});
    // Takes a result made elsewhere (a provider that already holds one, or a test).
    void SetData(CellSetData data);
    // True while a result is held.
    bool IsOpen() const { return open_; }
    // Drops the result.
    void Close();

    // The number of axes (0 when closed).
    int AxisCount() const { return open_ ? static_cast<int>(data_.Axes.size()) : 0; }
    // Axis `index`; throws InvalidArgument when there is none.
    const CellSetAxis& Axis(int index) const;
    // The tuples of the WHERE clause (one empty tuple when there was none).
    const CellSetAxis& Slicer() const { return data_.Slicer; }
    // What the provider worked around while running the query, for the run's log.
    const std::vector<std::string>& Warnings() const { return data_.Warnings; }
    // What the provider chose while running it, for the log when CubeDebugLog asks for it.
    const std::vector<std::string>& Notes() const { return data_.Notes; }
    // The cell with `ordinal`; throws InvalidArgument when there is none.
    const CellSetCell& Cell(long ordinal) const;

    // The MDX text last opened.
    const std::string& GetQuery() const { return query_; }
    // "Query = ...\n" and the formatted description of the last failure.
    const std::string& GetLastErrorString() const { return lastError_; }
    uint32_t GetLastErrorCode() const { return lastErrorCode_; }

  private:
    [[noreturn]] void Raise(long code, const std::string& description,
                            const std::string& source) const;

    CellSetData data_;
    bool open_ = false;
    std::string query_;
    mutable std::string lastError_;
    mutable uint32_t lastErrorCode_ = 0;
};
