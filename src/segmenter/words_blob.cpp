// The compiled word list, built into the program so that it needs no file
// beside it and no parsing at start.

#ifndef QUILLA_WORDS_FILE
#error "QUILLA_WORDS_FILE names the compiled word list"
#endif

__asm__(".section .rodata.quilla_words,\"a\",@progbits\n"
        ".balign 16\n"
        ".globl quilla_words_begin\n"
        "quilla_words_begin:\n"
        ".incbin \"" QUILLA_WORDS_FILE "\"\n"
        ".globl quilla_words_end\n"
        "quilla_words_end:\n"
        ".byte 0\n"
        ".previous\n");
