/* Imports a function that every Windows has but the reviewed import list does not name, so the
   import check has to object and say how to add it. */
#include <windows.h>

int main(void) {
    return Beep(0, 0) ? 0 : 1;
}
