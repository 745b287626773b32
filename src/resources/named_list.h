// What the registries' lists have in common: singly linked nodes appended at
// the tail, searched from the head by exact, case-sensitive name (the first
// match wins, a record without a name never matches), and names kept as
// owned heap copies. Main thread only.
#pragma once

#include <cstring>

// A heap copy of `name`, freed with delete[].
inline char* copyName(const char* name)
{
    size_t length = std::strlen(name);
    char* copy = new char[length + 1];
    std::memcpy(copy, name, length + 1);
    return copy;
}

// Appends `node` at the tail; an empty list gets it as its head too.
template <typename Node>
void appendNode(Node*& head, Node*& tail, Node* node)
{
    if (!head)
        head = node;
    else
        tail->next = node;
    tail = node;
}

// The record of the first node whose record is named `name`, or null.
template <typename Node, typename Record>
Record* findNamed(Node* head, Record* Node::*record, const char* name)
{
    for (Node* node = head; node; node = node->next) {
        Record* r = node->*record;
        if (r && r->name && std::strcmp(r->name, name) == 0)
            return r;
    }
    return nullptr;
}
