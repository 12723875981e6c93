// Named, doubly linked lists of opaque elements.  Each list lives in an
// allocation group of its own: destroying it releases its header and every
// node at once.  KEY words on headers and nodes make every operation refuse
// a stale or foreign pointer instead of following it.
#pragma once

#include <cstdint>

constexpr uint32_t kListKey = 0x13245768;
constexpr uint32_t kNodeKey = 0x68572413;

struct List;

struct ListNode {
    void* element;      // what the node carries
    ListNode* ln_succ;  // next node, null at the tail
    ListNode* ln_pred;  // previous node, null at the head
    List* list;
    uint32_t key;
};

struct List {
    char name[256];
    void (*free_element)(void* element);
    void* (*alloc_element)();
    ListNode* head;
    ListNode* tail;
    uint32_t group;
    uint32_t key;
};

// The library's status codes (list_create returns 00 to 03).
enum ListStatus : int {
    LIST_OK = 0,
    LIST_NO_MEMORY = 1,
    LIST_ALLOC_NO_FREE = 2,
    LIST_FREE_NO_ALLOC = 3,
    LIST_KEY_BAD = 4,
    LIST_UNNAMED = 5,
    LIST_NO_GROUP = 6,
    LIST_NODE_KEY_BAD = 7,
    LIST_BAD_NODE_LIST = 8,
    LIST_HEAD_PRED = 9,
    LIST_TAIL_SUCC = 10,
    LIST_FORWARD_BROKEN = 11,
    LIST_BACKWARD_BROKEN = 12,
    LIST_NO_ELEMENT = 13,
    LIST_NO_HEAD_BUT_TAIL = 14,
    LIST_HEAD_NO_TAIL = 15,
    LIST_NO_LIST = 16,
};
const char* list_status_text(int code);

int list_create(List** cell, const char* name, void* (*alloc_element)(), void (*free_element)(void*));
void list_destroy(List* list);
ListNode* list_add_head(List* list);
ListNode* list_add_tail(List* list);
ListNode* list_insert_after(List* list, ListNode* after);
void list_remove(ListNode* node);
void list_unlink(ListNode* node);
void list_link_after(List* list, ListNode* after, ListNode* node);
int list_move_up(ListNode* node);
int list_move_down(ListNode* node);
void list_move(List* list, int from, int to);
void list_move_to(ListNode* node, ListNode* target, List* list);
ListNode* list_node_at(List* list, int index);
int list_index_of(ListNode* node);
int list_find(List* list, void* element);
int list_count(List* list);
// 0 valid; 1 no node; 2 node KEY bad; 3 node without list; 4 list KEY bad.
int node_check(ListNode* node);
// Walks the whole structure and gives the status code of its first fault.
int list_verify(List* list);
