/* Added to the linker's own script for the 32-bit program: leaves out every unwind table,
   the C runtime's included, since nothing in the program throws or is unwound. */
SECTIONS
{
  /DISCARD/ : { *(.eh_frame*) }
}
INSERT BEFORE .eh_frame;
