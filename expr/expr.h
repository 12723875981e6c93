// The arithmetic evaluator of the scene language: a text such as
// "sin(cframe(0)/10)*2" becomes a double.  Its variables are the scene's
// named values, its sequence functions read the position in the sequence
// being generated.  One shared context: calls must not overlap.
#pragma once

constexpr int kExprNameLength = 30;
constexpr int kExprAssignments = 10000;

enum ExprError : int {
    EXPR_OK = 0,
    EXPR_SYNTAX = 1,
    EXPR_UNBALANCED = 2,
    EXPR_DIV_ZERO = 3,
    EXPR_UNKNOWN_VARIABLE = 4,
    EXPR_TOO_MANY_VARIABLES = 5,
    EXPR_UNKNOWN_FUNCTION = 6,
    EXPR_ARGUMENT_COUNT = 7,
    EXPR_MISSING_ARGUMENT = 8,
    EXPR_EMPTY = 9,
};

// "Syntax error", ... for codes 1 to 9; "" otherwise.
const char* expr_error_text(int code);

// Evaluates `text` (lower-cased in place).  0 with the result and the
// assignment flag set, or the error code with the position and failing
// token kept in expr_state().
int expr_evaluate(char* text, double* result, int* assigned);
// The same on a copy, for texts the caller must keep.
int expr_evaluate_copy(const char* text, double* result, int* assigned);

struct ExprAssignment {
    char name[kExprNameLength + 1];
    double value;
    bool used;
};

struct ExprState {
    int error;
    int error_position;                      // characters from the start
    char error_token[kExprNameLength + 2];   // the failing token's text
    ExprAssignment table[kExprAssignments];
};
ExprState& expr_state();
// Empties the assignment table.
void expr_clear_assignments();
// The value an assignment stored, for callers that want it back.
bool expr_assignment(const char* name, double* value);

// Where the sequence functions read from: the sequence generator's current
// frame (from 0) and number of frames, and the Transition operation's time.
struct ExprSequence {
    long frame = 0;
    long frames = 1;
    double transition_time = 0;
};
ExprSequence& expr_sequence();

// The scene's named values, read as variables.  Without a source, or when
// the source does not know the name, a variable is 0.
void expr_set_variable_source(bool (*lookup)(const char* name, double* value));
