#pragma once
// The class library's collections as thin names over the standard containers: growable arrays
// (CArray, CStringArray) and a map (CMap) with the members the system's code calls. Indexes are
// not checked beyond what the standard containers check; GetAt on a bad index is the caller's fault.
#include "cstring.h"
#include <algorithm>
#include <iterator>
#include <map>
#include <vector>

#include <cstdint>

using POSITION = void*;

template <class TYPE, class ARG_TYPE = const TYPE&>
class CArray {
public:
    CArray() = default;
    virtual ~CArray() = default;
    CArray(const CArray&) = default;
    CArray& operator=(const CArray&) = default;

    INT_PTR GetSize() const { return INT_PTR(v_.size()); }
    INT_PTR GetCount() const { return GetSize(); }
    BOOL IsEmpty() const { return v_.empty(); }
    INT_PTR GetUpperBound() const { return GetSize() - 1; }
    // New elements are value-initialised; growBy is a hint the vector does not need.
    void SetSize(INT_PTR size, INT_PTR = -1) { v_.resize(std::size_t(std::max<INT_PTR>(size, 0))); }
    void FreeExtra() { v_.shrink_to_fit(); }
    void RemoveAll() { v_.clear(); }

    TYPE GetAt(INT_PTR i) const { return v_.at(std::size_t(i)); }
    void SetAt(INT_PTR i, ARG_TYPE value) { v_.at(std::size_t(i)) = value; }
    TYPE& ElementAt(INT_PTR i) { return v_.at(std::size_t(i)); }
    const TYPE& ElementAt(INT_PTR i) const { return v_.at(std::size_t(i)); }
    TYPE& operator[](INT_PTR i) { return ElementAt(i); }
    const TYPE& operator[](INT_PTR i) const { return ElementAt(i); }
    TYPE* GetData() { return v_.data(); }
    const TYPE* GetData() const { return v_.data(); }

    INT_PTR Add(ARG_TYPE value) {
        v_.push_back(value);
        return GetUpperBound();
    }
    void SetAtGrow(INT_PTR i, ARG_TYPE value) {
        if (i >= GetSize()) SetSize(i + 1);
        v_[std::size_t(i)] = value;
    }
    // Returns the index of the first element appended.
    INT_PTR Append(const CArray& other) {
        const INT_PTR first = GetSize();
        v_.insert(v_.end(), other.v_.begin(), other.v_.end());
        return first;
    }
    void Copy(const CArray& other) { v_ = other.v_; }
    void InsertAt(INT_PTR i, ARG_TYPE value, INT_PTR count = 1) {
        if (i > GetSize()) SetSize(i);
        v_.insert(v_.begin() + i, std::size_t(std::max<INT_PTR>(count, 0)), value);
    }
    void RemoveAt(INT_PTR i, INT_PTR count = 1) {
        const INT_PTR end = std::min(GetSize(), i + count);
        if (i < 0 || i >= end) return;
        v_.erase(v_.begin() + i, v_.begin() + end);
    }

    auto begin() { return v_.begin(); }
    auto end() { return v_.end(); }
    auto begin() const { return v_.begin(); }
    auto end() const { return v_.end(); }

private:
    std::vector<TYPE> v_;
};

class CStringArray : public CArray<CString, const CString&> {
public:
    using CArray<CString, const CString&>::Add;
    INT_PTR Add(LPCWSTR text) { return CArray<CString, const CString&>::Add(CString(text ? text : L"")); }
};

// A map with the class library's lookup and walk; entries are walked in key order.
template <class KEY, class ARG_KEY, class VALUE, class ARG_VALUE>
class CMap {
public:
    explicit CMap(INT_PTR = 10) {}
    virtual ~CMap() = default;

    INT_PTR GetCount() const { return INT_PTR(m_.size()); }
    INT_PTR GetSize() const { return GetCount(); }
    BOOL IsEmpty() const { return m_.empty(); }
    // The hash size is the class library's tuning; an ordered map has none.
    void InitHashTable(UINT, BOOL = TRUE) {}

    BOOL Lookup(ARG_KEY key, VALUE& value) const {
        auto it = m_.find(key);
        if (it == m_.end()) return FALSE;
        value = it->second;
        return TRUE;
    }
    void SetAt(ARG_KEY key, ARG_VALUE value) { m_[key] = value; }
    VALUE& operator[](ARG_KEY key) { return m_[key]; }
    BOOL RemoveKey(ARG_KEY key) { return m_.erase(key) > 0; }
    void RemoveAll() { m_.clear(); }

    // Walking: POSITION is the place of the next entry (null at the end).
    POSITION GetStartPosition() const { return m_.empty() ? nullptr : Pos(0); }
    void GetNextAssoc(POSITION& pos, KEY& key, VALUE& value) const {
        const std::size_t at = std::size_t(reinterpret_cast<std::uintptr_t>(pos)) - 1;
        auto it = std::next(m_.begin(), std::ptrdiff_t(at));
        key = it->first;
        value = it->second;
        pos = at + 1 < m_.size() ? Pos(at + 1) : nullptr;
    }

private:
    static POSITION Pos(std::size_t at) { return reinterpret_cast<POSITION>(std::uintptr_t(at + 1)); }
    std::map<KEY, VALUE> m_;
};
