// The program's property list, byte for byte, in an allocated ELF section of
// its own, the counterpart of the __TEXT,__info_plist section on macOS, so
// that the built program can be checked for it.
asm(".pushsection .info_plist,\"a\",@progbits\n"
    ".incbin \"" VANTREL_INFO_PLIST_PATH "\"\n"
    ".popsection\n");
