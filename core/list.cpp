#include "core/list.h"

#include "core/mem.h"

#include <cstdio>
#include <cstring>

namespace {

struct ListLibrary {
    int serial = 0;  // counts every list created, named or not
};
ListLibrary g_lists;

const char* const kStatusText[] = {
    "00 - List is OK",
    "01 - Can't Get Memory for List",
    "02 - Allocate, but no Free",
    "03 - Free, but no Allocate",
    "04 - List KEY bad",
    "05 - List Un-named",
    "06 - No Memory Allocation Group",
    "07 - Node KEY Bad",
    "08 - Bad Node List Pointer",
    "09 - Head node ln_pred not NULL",
    "10 - Tail node ln_succ not NULL",
    "11 - Forward link broken",
    "12 - Backwards link broken",
    "13 - No user element assigned to node",
    "14 - No head, but tail",
    "15 - Head, but no tail",
    "16 - No list pointer",
};

bool list_ok(const List* list)
{
    return list && list->key == kListKey;
}

// Links an unlinked node after `after` (at the head when null).
void link_after(List* list, ListNode* after, ListNode* node)
{
    node->list = list;
    if (after) {
        node->ln_pred = after;
        node->ln_succ = after->ln_succ;
        if (after->ln_succ)
            after->ln_succ->ln_pred = node;
        else
            list->tail = node;
        after->ln_succ = node;
    } else {
        node->ln_pred = nullptr;
        node->ln_succ = list->head;
        if (list->head)
            list->head->ln_pred = node;
        else
            list->tail = node;
        list->head = node;
    }
}

// Links an unlinked node before `before` (which must be in the list).
void link_before(List* list, ListNode* before, ListNode* node)
{
    link_after(list, before->ln_pred, node);
}

} // namespace

const char* list_status_text(int code)
{
    if (code < 0 || code > 16)
        return "";
    return kStatusText[code];
}

int list_create(List** cell, const char* name, void* (*alloc_element)(), void (*free_element)(void*))
{
    if (alloc_element && !free_element)
        return LIST_ALLOC_NO_FREE;
    if (free_element && !alloc_element)
        return LIST_FREE_NO_ALLOC;
    uint32_t group = group_new();
    List* list = nullptr;
    if (group_alloc(&list, 1, "list struct", group) != 0) {
        if (cell)
            *cell = nullptr;
        return LIST_NO_MEMORY;
    }
    if (name) {
        std::strncpy(list->name, name, 254);
        list->name[254] = 0;
    } else {
        std::snprintf(list->name, sizeof list->name, "VX List #%d", g_lists.serial);
    }
    g_lists.serial += 1;
    list->alloc_element = alloc_element;
    list->free_element = free_element;
    list->group = group;
    list->head = list->tail = nullptr;
    list->key = kListKey;
    if (cell)
        *cell = list;
    return LIST_OK;
}

void list_destroy(List* list)
{
    if (!list_ok(list))
        return;
    while (list->tail)
        list_remove(list->tail);
    list->key = 0;
    group_release(list->group);
}

ListNode* list_insert_after(List* list, ListNode* after)
{
    if (!list_ok(list))
        return nullptr;
    if (after && (after->key != kNodeKey || after->list != list))
        return nullptr;
    void* element = nullptr;
    if (list->alloc_element) {
        element = list->alloc_element();
        if (!element)
            return nullptr;
    }
    ListNode* node = static_cast<ListNode*>(group_alloc_ptr(1, sizeof(ListNode), "node struct", list->group));
    if (!node) {
        if (list->free_element && element)
            list->free_element(element);
        return nullptr;
    }
    link_after(list, after, node);
    node->element = element;
    node->key = kNodeKey;
    return node;
}

ListNode* list_add_head(List* list)
{
    return list_insert_after(list, nullptr);
}

ListNode* list_add_tail(List* list)
{
    if (!list_ok(list))
        return nullptr;
    return list_insert_after(list, list->tail);
}

int node_check(ListNode* node)
{
    if (!node)
        return 1;
    if (node->key != kNodeKey)
        return 2;
    if (!node->list)
        return 3;
    if (node->list->key != kListKey)
        return 4;
    return 0;
}

void list_unlink(ListNode* node)
{
    if (node_check(node) != 0)
        return;
    List* list = node->list;
    if (node == list->head) {
        list->head = node->ln_succ;
        if (list->head)
            list->head->ln_pred = nullptr;
        else
            list->tail = nullptr;
    } else if (node == list->tail) {
        list->tail = node->ln_pred;
        if (list->tail)
            list->tail->ln_succ = nullptr;
    } else {
        if (node->ln_pred)
            node->ln_pred->ln_succ = node->ln_succ;
        if (node->ln_succ)
            node->ln_succ->ln_pred = node->ln_pred;
    }
    node->ln_succ = node->ln_pred = nullptr;
}

void list_remove(ListNode* node)
{
    if (node_check(node) != 0)
        return;
    List* list = node->list;
    list_unlink(node);
    node->key = 0;
    if (list->free_element && node->element)
        list->free_element(node->element);
    group_free_ptr(node);
}

void list_link_after(List* list, ListNode* after, ListNode* node)
{
    if (!list_ok(list) || !node || node->key != kNodeKey)
        return;
    if (after && (after->key != kNodeKey || after->list != list))
        return;
    link_after(list, after, node);
}

int list_move_up(ListNode* node)
{
    if (node_check(node) != 0)
        return 0;
    ListNode* pred = node->ln_pred;
    if (!pred)
        return 0;
    List* list = node->list;
    list_unlink(node);
    link_after(list, pred->ln_pred, node);
    return 1;
}

int list_move_down(ListNode* node)
{
    if (node_check(node) != 0)
        return 0;
    ListNode* succ = node->ln_succ;
    if (!succ)
        return 0;
    List* list = node->list;
    list_unlink(node);
    link_after(list, succ, node);
    return 1;
}

ListNode* list_node_at(List* list, int index)
{
    if (!list_ok(list) || index < 0)
        return nullptr;
    ListNode* n = list->head;
    for (int i = 0; n && i < index; ++i)
        n = n->ln_succ;
    return n;
}

void list_move(List* list, int from, int to)
{
    if (!list_ok(list) || from == to)
        return;
    ListNode* moving = list_node_at(list, from);
    ListNode* target = list_node_at(list, to);
    if (!moving || !target)
        return;
    list_unlink(moving);
    if (from < to)
        link_after(list, target, moving);
    else
        link_before(list, target, moving);
}

void list_move_to(ListNode* node, ListNode* target, List* list)
{
    if (node_check(node) != 0 || node_check(target) != 0)
        return;
    list_move(list, list_index_of(node), list_index_of(target));
}

int list_index_of(ListNode* node)
{
    if (node_check(node) != 0)
        return -1;
    int i = 0;
    for (ListNode* n = node->list->head; n; n = n->ln_succ, ++i)
        if (n == node)
            return i;
    return -1;
}

int list_find(List* list, void* element)
{
    if (!list_ok(list))
        return -1;
    int i = 0;
    for (ListNode* n = list->head; n; n = n->ln_succ, ++i)
        if (n->element == element)
            return i;
    return -1;
}

int list_count(List* list)
{
    if (!list_ok(list))
        return 0;
    int count = 0;
    for (ListNode* n = list->head; n; n = n->ln_succ)
        ++count;
    return count;
}

int list_verify(List* list)
{
    if (!list)
        return LIST_NO_LIST;
    if (list->key != kListKey)
        return LIST_KEY_BAD;
    if (!list->name[0])
        return LIST_UNNAMED;
    if (list->group == 0)
        return LIST_NO_GROUP;
    if (!list->head && list->tail)
        return LIST_NO_HEAD_BUT_TAIL;
    if (list->head && !list->tail)
        return LIST_HEAD_NO_TAIL;
    if (list->head && list->head->ln_pred)
        return LIST_HEAD_PRED;
    if (list->tail && list->tail->ln_succ)
        return LIST_TAIL_SUCC;
    ListNode* prev = nullptr;
    for (ListNode* n = list->head; n; prev = n, n = n->ln_succ) {
        if (n->key != kNodeKey)
            return LIST_NODE_KEY_BAD;
        if (n->list != list)
            return LIST_BAD_NODE_LIST;
        if (n->ln_pred != prev)
            return LIST_BACKWARD_BROKEN;
        if (list->alloc_element && !n->element)
            return LIST_NO_ELEMENT;
    }
    if (prev != list->tail)
        return LIST_FORWARD_BROKEN;
    return LIST_OK;
}
