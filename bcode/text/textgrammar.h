// The grammar of the text form as PEGTL rules, one line at a time: the
// reader splits the text into lines and parses each with the rule of the
// section it is in. Rules that stand for one piece of an entry are types of
// their own, so that the reader's actions know which piece they hold. Rules
// with an `expected` text name what the error messages say was expected.
// Internal to the library: no public header includes it.
#ifndef BCODE_TEXT_TEXTGRAMMAR_H
#define BCODE_TEXT_TEXTGRAMMAR_H

#include <tao/pegtl.hpp>

#include "bcode/instr/bcinstrop.h"
#include "bcode/text/textnames.h"

namespace bctext::grammar {

namespace p = tao::pegtl;

// ---- words and numbers

struct sp : p::star<p::blank> {};
struct gap : p::plus<p::blank> {};
// A piece after the blanks that separate it from the one before; it is
// expected where the blanks start, so that a line that ends too early names
// what is missing.
template <class Rule>
struct sep : p::seq<gap, Rule> {
  static constexpr const char* expected = Rule::expected;
};
struct number : p::plus<p::digit> {
  static constexpr const char* expected = "a number";
};
struct signed_number : p::seq<p::opt<p::one<'-'>>, p::plus<p::digit>> {
  static constexpr const char* expected = "a number";
};
struct word : p::identifier {
  static constexpr const char* expected = "a name";
};
struct escape
    : p::seq<p::one<'$'>, p::sor<p::one<'$', '\''>, p::rep<2, p::xdigit>,
                                 p::one<'L', 'l', 'N', 'n', 'R', 'r', 'T', 't', 'P', 'p'>>> {
  static constexpr const char* expected =
      "an escape ($$, $', $L, $N, $R, $T, $P or $ and two hex digits)";
};
struct quoted : p::seq<p::one<'\''>, p::star<p::sor<escape, p::not_one<'\'', '$'>>>, p::one<'\''>> {
  static constexpr const char* expected = "a quoted text";
};
struct name : p::sor<word, quoted> {
  static constexpr const char* expected = "a name";
};
// A reference that is meant not to resolve.
struct mark : p::one<'?'> {};
struct colon : p::one<':'> {
  static constexpr const char* expected = "':'";
};
struct comma : p::one<','> {
  static constexpr const char* expected = "','";
};
// A word of an enumeration or its number.
struct enum_value : p::sor<number, word> {};

// A keyword: the word itself, not the start of a longer one.
#define BCTEXT_KEYWORD(Rule, text)                        \
  struct Rule : TAO_PEGTL_KEYWORD(text) {                 \
    static constexpr const char* expected = "'" text "'"; \
    static constexpr const char* keyword = text;          \
  }

BCTEXT_KEYWORD(kw_block, "block");
BCTEXT_KEYWORD(kw_type, "type");
BCTEXT_KEYWORD(kw_table, "table");
BCTEXT_KEYWORD(kw_interface, "interface");
BCTEXT_KEYWORD(kw_list, "list");
BCTEXT_KEYWORD(kw_ldd, "LDD");
BCTEXT_KEYWORD(kw_lsd, "LSD");
BCTEXT_KEYWORD(kw_constant, "constant");
BCTEXT_KEYWORD(kw_operand, "operand");
BCTEXT_KEYWORD(kw_instruction, "instruction");
BCTEXT_KEYWORD(kw_empty, "EMPTY");
BCTEXT_KEYWORD(kw_elementary, "ELEMENTARY");
BCTEXT_KEYWORD(kw_elem, "ELEM");
BCTEXT_KEYWORD(kw_string, "STRING");
BCTEXT_KEYWORD(kw_array, "ARRAY");
BCTEXT_KEYWORD(kw_of, "OF");
BCTEXT_KEYWORD(kw_struct, "STRUCT");
BCTEXT_KEYWORD(kw_instance, "INSTANCE");
BCTEXT_KEYWORD(kw_code, "CODE");
BCTEXT_KEYWORD(kw_global, "GLOBAL");
BCTEXT_KEYWORD(kw_gdt, "GDT");
BCTEXT_KEYWORD(kw_view, "VIEW");
BCTEXT_KEYWORD(kw_at, "AT");
BCTEXT_KEYWORD(kw_son_block, "BLOCK");
BCTEXT_KEYWORD(kw_kind, "KIND");
BCTEXT_KEYWORD(kw_tmp, "TMP");
BCTEXT_KEYWORD(kw_num, "NUM");
BCTEXT_KEYWORD(kw_cst, "CST");
BCTEXT_KEYWORD(kw_opd, "OPD");
BCTEXT_KEYWORD(kw_imm, "IMM");
BCTEXT_KEYWORD(kw_nil, "NIL");
BCTEXT_KEYWORD(kw_as, "AS");
BCTEXT_KEYWORD(kw_refr, "REFR");
BCTEXT_KEYWORD(kw_no_refr, "NO_REFR");
BCTEXT_KEYWORD(kw_test, "TEST");

#undef BCTEXT_KEYWORD

static_assert(kInstrOpWords[BCInstructionOp::BCTMP_CLASS] == kw_tmp::keyword &&
                  kInstrOpWords[BCInstructionOp::BCNUM_CLASS] == kw_num::keyword &&
                  kInstrOpWords[BCInstructionOp::BCCST_CLASS] == kw_cst::keyword &&
                  kInstrOpWords[BCInstructionOp::BCOPD_CLASS] == kw_opd::keyword,
              "the operand keywords are the words of bcode/instr/bcinstrop.def");

// ---- lines

struct comment : p::seq<p::one<';'>, p::star<p::any>> {};
struct line_end : p::eof {
  static constexpr const char* expected = "the end of the line";
};
// A line of a section: its body (or nothing), and a comment.
template <class Body>
struct line : p::seq<sp, p::opt<Body>, sp, p::opt<comment>, line_end> {};

// An index in front of an entry; it may be left out, so it is not named
// among what was expected.
struct entry_index : number {
  static constexpr const char* expected = nullptr;
};
struct index_part : p::seq<entry_index, gap> {};

// ---- the block and the section keywords

struct block_kind : enum_value {
  static constexpr const char* expected = "a block kind";
};
struct block_no : number {
  static constexpr const char* expected = "a block number";
};
struct block_header : p::seq<kw_block, sep<block_kind>, sep<block_no>> {};

struct section_types : p::seq<kw_type, sep<kw_table>> {};
struct section_interfaces : p::seq<kw_interface, sep<kw_list>> {};
struct section_ldd : p::seq<kw_ldd, sep<kw_list>> {};
struct section_lsd : p::seq<kw_lsd, sep<kw_list>> {};
struct section_constants : p::seq<kw_constant, sep<kw_table>> {};
struct section_operands : p::seq<kw_operand, sep<kw_table>> {};
struct section_instructions : p::seq<kw_instruction, sep<kw_list>> {};
struct section_header
    : p::sor<block_header, section_types, section_interfaces, section_ldd, section_lsd,
             section_constants, section_operands, section_instructions> {
  static constexpr const char* expected = "a section heading";
};

// ---- type table

struct type_ref : p::seq<number, p::opt<mark>> {
  static constexpr const char* expected = "a type index";
};
struct type_code : number {};
struct global_flag : number {};
struct gdt_no : number {};
struct type_suffix
    : p::seq<p::opt<sep<kw_code>, sep<type_code>>, p::opt<sep<kw_global>, sep<global_flag>>,
             p::opt<sep<kw_gdt>, sep<gdt_no>>> {};

struct t_empty : kw_empty {};
struct t_elementary : kw_elementary {};
struct elem_code : enum_value {
  static constexpr const char* expected = "a data type";
};
struct t_elem : p::seq<kw_elem, sep<elem_code>, type_suffix> {};
struct string_length : number {};
struct open_bracket : p::one<'['> {
  static constexpr const char* expected = "'['";
};
struct close_bracket : p::one<']'> {
  static constexpr const char* expected = "']'";
};
struct t_string
    : p::seq<kw_string, sp, open_bracket, sp, string_length, sp, close_bracket, type_suffix> {};
struct bound_low : signed_number {};
struct bound_high : signed_number {};
struct dots : p::two<'.'> {
  static constexpr const char* expected = "'..'";
};
struct dimension : p::seq<bound_low, sp, dots, sp, bound_high> {};
struct element_type : type_ref {};
struct t_array
    : p::seq<kw_array, sp, open_bracket, sp, p::opt<p::list<dimension, p::one<','>, p::blank>>, sp,
             close_bracket, sep<kw_of>, sep<element_type>, type_suffix> {};
struct t_struct : p::seq<kw_struct, type_suffix> {};
struct instance_kind : block_kind {};
struct instance_no : block_no {};
struct instance_mark : mark {};
struct t_instance : p::seq<kw_instance, sep<instance_kind>, sep<instance_no>, p::opt<instance_mark>,
                           type_suffix> {};
// An elementary type by its data type's name.
struct elem_name : word {
  static constexpr const char* expected = "a type";
};
struct t_named : p::seq<elem_name, type_suffix> {};
struct type_def
    : p::sor<t_empty, t_elementary, t_elem, t_string, t_array, t_struct, t_instance, t_named> {};

struct component_name : name {};
struct component_type : type_ref {};
struct component : p::seq<component_name, sp, colon, sp, component_type> {};
struct type_body : p::sor<section_header, p::seq<p::opt<index_part>, p::sor<component, type_def>>> {
};

// ---- interface list and local data

struct interface_kind : block_kind {};
struct interface_no : block_no {};
struct interface_header : p::seq<kw_interface, sep<interface_kind>, sep<interface_no>> {};
struct entry_name : name {};
struct entry_type : type_ref {};
struct param_kind : enum_value {
  static constexpr const char* expected = "a parameter kind";
};
struct view_no : number {
  static constexpr const char* expected = "an entry number";
};
struct view_part : p::seq<sep<kw_view>, sep<view_no>> {};
struct at_offset : number {
  static constexpr const char* expected = "an offset";
};
struct at_part : p::seq<sep<kw_at>, sep<at_offset>> {};
struct interface_entry : p::seq<p::opt<index_part>, entry_name, sp, colon, sp, entry_type,
                                sep<param_kind>, p::opt<view_part>, p::opt<at_part>> {};
struct interface_body : p::sor<section_header, interface_header, interface_entry> {};

struct variable : p::seq<p::opt<index_part>, entry_name, sp, colon, sp, entry_type,
                         p::opt<view_part>, p::opt<at_part>> {};
struct local_body : p::sor<section_header, variable> {};

// ---- constant table

struct constant_class : word {
  static constexpr const char* expected = "a constant class";
};
struct date_year : number {};
struct date_month : number {};
struct date_day : number {};
struct date_literal
    : p::seq<TAO_PEGTL_STRING("D#"), date_year, p::one<'-'>, date_month, p::one<'-'>, date_day> {};
struct tod_hours : signed_number {};
struct tod_minutes : signed_number {};
struct tod_seconds : signed_number {};
struct tod_ms : signed_number {};
struct tod_literal : p::seq<TAO_PEGTL_STRING("TOD#"), tod_hours, p::one<':'>, tod_minutes,
                            p::one<':'>, tod_seconds, p::one<'.'>, tod_ms> {};
struct dt_literal : p::seq<date_literal, gap, tod_literal> {};
// The parts of a duration, each with its unit.
struct part_days : p::seq<signed_number, p::one<'d'>> {};
struct part_hours : p::seq<signed_number, p::one<'h'>> {};
struct part_minutes : p::seq<signed_number, p::one<'m'>, p::not_at<p::one<'s'>>> {};
struct part_seconds : p::seq<signed_number, p::one<'s'>> {};
struct part_ms : p::seq<signed_number, p::string<'m', 's'>> {};
struct k4_literal : p::seq<TAO_PEGTL_STRING("TK4#"), p::at<signed_number>, p::opt<part_hours>,
                           p::opt<part_minutes>, p::opt<part_seconds>, p::opt<part_ms>> {};
struct time_literal
    : p::seq<TAO_PEGTL_STRING("T#"), p::at<signed_number>, p::opt<part_days>, p::opt<part_hours>,
             p::opt<part_minutes>, p::opt<part_seconds>, p::opt<part_ms>> {};
// The 32 bits of a REAL, or a number in hex.
struct bits_literal : p::seq<TAO_PEGTL_STRING("16#"), p::plus<p::xdigit>> {};
struct hex_literal : p::seq<p::one<'0'>, p::one<'x', 'X'>, p::plus<p::xdigit>> {};
struct decimal : p::seq<p::sor<p::seq<p::plus<p::digit>, p::opt<p::one<'.'>, p::star<p::digit>>>,
                               p::seq<p::one<'.'>, p::plus<p::digit>>>,
                        p::opt<p::one<'e', 'E'>, p::opt<p::one<'+', '-'>>, p::plus<p::digit>>> {};
struct number_literal
    : p::seq<p::opt<p::one<'-', '+'>>,
             p::sor<decimal, TAO_PEGTL_KEYWORD("inf"), TAO_PEGTL_KEYWORD("nan")>> {};
struct text_literal : quoted {};
struct constant_literal : p::sor<text_literal, dt_literal, date_literal, tod_literal, k4_literal,
                                 time_literal, bits_literal, hex_literal, number_literal> {
  static constexpr const char* expected = "a constant";
};
struct constant_def : p::sor<t_empty, p::seq<constant_class, sep<constant_literal>>> {};
struct constant_body : p::sor<section_header, p::seq<p::opt<index_part>, constant_def>> {};

// ---- operand table

inline bool isWordChar(char c) {
  return c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// The name of a memory operand class of one family.
template <OperandFamily Family>
struct operand_class {
  static constexpr const char* expected = "an operand class";
  template <typename ParseInput>
  static bool match(ParseInput& in) {
    std::size_t length = 0;
    while (length < in.size(length + 1) && isWordChar(in.peek_char(length))) ++length;
    if (length == 0) return false;
    const int tag = operandClasses().find(std::string_view(in.current(), length));
    if (tag < 0 || operandClass(static_cast<unsigned>(tag))->family != Family) return false;
    in.bump_in_this_line(length);
    return true;
  }
};

struct operand_type : type_ref {};
struct type_part : p::seq<sp, colon, sp, operand_type> {};
struct area_offset : number {
  static constexpr const char* expected = "an offset";
};
struct db_no : block_no {};
struct operand_no : number {};
struct ref_kind : block_kind {};
struct ref_block : number {};
struct ref_entry : number {};
struct ref_mark : mark {};
struct entry_ref : p::seq<ref_kind, sep<ref_block>, p::one<'.'>, ref_entry, p::opt<ref_mark>> {
  static constexpr const char* expected = "an interface entry (such as FB 7.1)";
};
struct son_block : block_no {};
struct son_part : p::seq<sep<kw_son_block>, sep<son_block>> {};
struct call_no : number {
  static constexpr const char* expected = "a call and a parameter number (such as 2.1)";
};
struct call_par : number {};
struct call_kind : block_kind {};
struct kind_part : p::seq<sep<kw_kind>, sep<call_kind>> {};
struct var_no : number {
  static constexpr const char* expected = "a variable number";
};
struct var_mark : mark {};

template <OperandFamily Family>
struct param_operand : p::seq<operand_class<Family>, sep<entry_ref>, p::opt<type_part>,
                              p::opt<at_part>, p::opt<son_part>> {};
struct operand_def
    : p::sor<t_empty, p::seq<operand_class<OperandFamily::Area>, sep<area_offset>, type_part>,
             p::seq<operand_class<OperandFamily::DbArea>, sep<db_no>, sep<area_offset>, type_part>,
             p::seq<operand_class<OperandFamily::Numbered>, sep<operand_no>>,
             param_operand<OperandFamily::OwnFB>, param_operand<OperandFamily::SonFB>,
             param_operand<OperandFamily::OwnFC>, param_operand<OperandFamily::SonFC>,
             p::seq<operand_class<OperandFamily::CallParam>, sep<call_no>, p::one<'.'>, call_par,
                    type_part, p::opt<kind_part>>,
             p::seq<operand_class<OperandFamily::Local>, sep<var_no>, p::opt<var_mark>,
                    p::opt<type_part>, p::opt<at_part>>> {};
struct operand_body : p::sor<section_header, p::seq<p::opt<index_part>, operand_def>> {};

// ---- instruction list

struct opcode : p::seq<p::not_at<p::digit>, p::plus<p::not_one<' ', '\t', ',', ';', '\''>>> {
  static constexpr const char* expected = "an instruction code";
};
// Marks which of z, q1 and q2 the operand that follows is.
template <int Slot>
struct slot : p::success {};
struct absent : p::one<'-'> {};
struct tmp_no : number {
  static constexpr const char* expected = "a temporary's number";
};
struct tmp_status : enum_value {
  static constexpr const char* expected = "a temporary's status";
};
struct tmp_area : enum_value {
  static constexpr const char* expected = "an area";
};
struct tmp_type : type_ref {};
struct i_tmp
    : p::seq<kw_tmp, sep<tmp_no>, sep<tmp_status>, sep<tmp_area>, p::opt<sp, colon, sp, tmp_type>> {
};
struct num_value : number {};
struct i_num : p::seq<kw_num, sep<num_value>> {};
struct cst_index : number {
  static constexpr const char* expected = "a constant index";
};
struct cst_mark : mark {};
struct i_cst : p::seq<kw_cst, sep<cst_index>, p::opt<cst_mark>> {};
struct opd_index : number {
  static constexpr const char* expected = "an operand index";
};
struct opd_mark : mark {};
struct i_opd : p::seq<kw_opd, sep<opd_index>, p::opt<opd_mark>> {};
struct imm_class : word {
  static constexpr const char* expected = "an immediate's type";
};
struct imm_text : quoted {};
struct imm_nil : kw_nil {};
struct imm_hex : hex_literal {};
struct imm_number : signed_number {};
struct imm_value : p::sor<imm_text, imm_nil, imm_hex, imm_number> {
  static constexpr const char* expected = "a value";
};
struct i_imm : p::seq<kw_imm, sep<imm_class>, sep<imm_value>> {};
struct as_type : enum_value {
  static constexpr const char* expected = "a data type";
};
struct refr_value : number {};
struct test_value : number {};
struct attr_as : p::seq<kw_as, sep<as_type>> {};
struct attr_refr : p::seq<kw_refr, p::opt<p::one<'='>, refr_value>> {};
struct attr_no_refr : kw_no_refr {};
struct attr_test : p::seq<kw_test, p::opt<p::one<'='>, test_value>> {};
struct attribute : p::sor<attr_as, attr_refr, attr_no_refr, attr_test> {
  static constexpr const char* expected = "'AS', 'REFR' or 'TEST'";
};
struct attributes : p::star<sep<attribute>> {};
struct operand_kind
    : p::sor<absent, p::seq<p::sor<i_tmp, i_num, i_cst, i_opd, i_imm>, attributes>> {
  static constexpr const char* expected = "an operand ('-', TMP, NUM, CST, OPD or IMM)";
};
template <int Slot>
struct instruction_operand : p::seq<slot<Slot>, operand_kind> {
  static constexpr const char* expected = operand_kind::expected;
};
struct operands
    : p::seq<instruction_operand<0>, p::opt<sp, comma, sp, instruction_operand<1>,
                                            p::opt<sp, comma, sp, instruction_operand<2>>>> {
  static constexpr const char* expected = operand_kind::expected;
};
struct instruction : p::seq<p::opt<index_part>, opcode, p::opt<sep<operands>>> {};
struct instruction_body : p::sor<section_header, instruction> {};

// Before the block line only the block line may come.
struct start_body : block_header {};

}  // namespace bctext::grammar

#endif  // BCODE_TEXT_TEXTGRAMMAR_H
