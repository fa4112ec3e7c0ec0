{ The web framework's call-context interfaces and the binary building blocks both probes share,
  written from the Pascal declarations by the classic Object Pascal rules for 32-bit Windows.
  Free Pascal departs from those rules in three places, spelled out here so the probes behave as
  the classic rules say:
  - a managed result (interface, WideString, AnsiString, Variant, method pointer) travels through
    a hidden pointer placed after the declared parameters; Free Pascal puts it first, so such
    operations are declared with an explicit last out parameter;
  - a method pointer argument goes by value (code, then data, 8 bytes); Free Pascal passes a
    stdcall method pointer by reference, so it is declared as the record TMethodRec;
  - an `array of const` element has the value in its first 4 bytes and the kind in the byte at
    offset 4, with kind 17 for UnicodeString; Free Pascal puts the kind first and numbers
    UnicodeString 18, so open lists cross as TClassicVarRec (see ProbeArgs in the module). }
unit ProbeIntf;

{$mode delphi}{$H+}

interface

uses
  Windows;

const
  { Messages the library's windows answer. }
  kMsgRunScript = 2025;     { page: wParam script, lParam 1 -> 100 }
  kMsgAnswerCaller = 2029;  { page: wParam caller number, lParam answer text -> 100 }
  kMsgFocusForm = 2037;
  kMsgGetWebID = 2038;      { form: wParam 1, lParam asking control or 0 -> page window }
  kMsgShowForm = 2039;
  kMsgSizeForm = 2040;
  kMsgFormClosed = 3027;
  kMsgNavigate = 3030;
  kMsgGetFormObject = 6030;
  kMsgRunMainScript = 6036; { main: wParam script, lParam error buffer -> 100 }
  kMsgOk = 100;

  { A Boolean result is AL; these fill the rest of EAX on purpose, so a caller that reads more
    than AL takes false for true. }
  kTrueEAX = LongWord($FFFFFF01);
  kFalseEAX = LongWord($FFFFFF00);

type
  { A Boolean result with every bit of EAX chosen (only AL is the value). }
  TPasBoolEAX = LongWord;

  { An object method pointer by value: the code is called with Data as its first argument. }
  TMethodRec = record
    Code: Pointer;
    Data: Pointer;
  end;

  { One element of an `array of const` in the classic layout. }
  PClassicVarRec = ^TClassicVarRec;
  TClassicVarRec = packed record
    Value: LongWord; { the value, or a pointer to it }
    VType: Byte;
    Filler: array[0..2] of Byte;
  end;

  { The context's named-value store; positions 3, 4, 6, 7 and 12 are used, the others keep
    their places. Names and texts are in the system code page. }
  IAppValues = interface(IUnknown)
    function Reserved1: Integer; stdcall;
    function Reserved2: Integer; stdcall;
    procedure SetValue(Name, Value: PAnsiChar); stdcall;
    procedure SetIntValue(Name: PAnsiChar; Value: Integer); stdcall;
    function Reserved5: Integer; stdcall;
    procedure SetBoolValue(Name: PAnsiChar; Value: Boolean); stdcall;
    function GetValue(Name: PAnsiChar): PAnsiChar; stdcall;
    function Reserved8: Integer; stdcall;
    function Reserved9: Integer; stdcall;
    function Reserved10: Integer; stdcall;
    function Reserved11: Integer; stdcall;
    function ValueCount: Integer; stdcall;
  end;

  { A call's parameter list and its return text; indexes count from 0. }
  IJsCallerInf = interface(IUnknown)
    ['{F856069E-F7FE-4010-8A38-3E7902D06AC8}']
    function Reserved1: Integer; stdcall;
    function Reserved2: Integer; stdcall;
    procedure AddStrParam(Code: Integer; Value: PAnsiChar); stdcall;
    procedure AddIntParam(Code: Integer; Value: Integer); stdcall;
    procedure AddFloatParam(Code: Integer; Value: Double); stdcall;
    procedure AddBoolParam(Code: Integer; Value: Boolean); stdcall;
    function Reserved7: Integer; stdcall;
    function Reserved8: Integer; stdcall;
    function Reserved9: Integer; stdcall;
    function ParamText: PAnsiChar; stdcall;
    function ParamCount: Integer; stdcall;
    function ParamStr(Index: Integer): PAnsiChar; stdcall;
    function Reserved13: Integer; stdcall;
    function ParamInt(Index, Reserved: Integer): Integer; stdcall;
    function Reserved15: Integer; stdcall;
    function Reserved16: Integer; stdcall;
    procedure SetResult(Value: PAnsiChar); stdcall;
    function ResultText: PAnsiChar; stdcall;
  end;

  { One page call's context, or a fresh one from GetAppContext. }
  IAppContext = interface(IUnknown)
    ['{77BDC84C-5B83-4844-9E98-A7F8A4FBCEA5}']
    function Reserved1: Integer; stdcall;
    function CallerNo: Integer; stdcall;
    function WebID: Integer; stdcall;
    procedure Values(out Result: IAppValues); stdcall;
    procedure Params(out Result: IJsCallerInf); stdcall;
  end;

  { Control parameters: nothing calls its thirteen operations. }
  IControlParamsInf = interface(IUnknown)
    ['{60FDC766-3A8B-4099-8152-8EE674FA7A48}']
    function Reserved1: Integer; stdcall;
    function Reserved2: Integer; stdcall;
    function Reserved3: Integer; stdcall;
    function Reserved4: Integer; stdcall;
    function Reserved5: Integer; stdcall;
    function Reserved6: Integer; stdcall;
    function Reserved7: Integer; stdcall;
    function Reserved8: Integer; stdcall;
    function Reserved9: Integer; stdcall;
    function Reserved10: Integer; stdcall;
    function Reserved11: Integer; stdcall;
    function Reserved12: Integer; stdcall;
    function Reserved13: Integer; stdcall;
  end;

  { The code of the library's event callback (an object method; Self is the method's data). }
  TWebBrowserEventCode = procedure(Self, Sender, UserContext: Pointer; iEventType: Integer;
    sEventName: PAnsiChar; aAppContext: IAppContext); stdcall;

  { The operations nobody should call, by their slot number (ReservedN is slot N of the
    interface as its declaration counts them): a class gets the ones its interface has by deriving
    from this one. Each answers 0 after Unused, which records a "placeholder" line naming the
    interface (Intf) and the slot. }
  TSlots = class(TInterfacedObject)
  protected
    class function Intf: AnsiString; virtual; abstract;
    function Unused(Slot: Integer): Integer; virtual;
  public
    function Reserved1: Integer; stdcall;
    function Reserved2: Integer; stdcall;
    function Reserved3: Integer; stdcall;
    function Reserved4: Integer; stdcall;
    function Reserved5: Integer; stdcall;
    function Reserved6: Integer; stdcall;
    function Reserved7: Integer; stdcall;
    function Reserved8: Integer; stdcall;
    function Reserved9: Integer; stdcall;
    function Reserved10: Integer; stdcall;
    function Reserved11: Integer; stdcall;
    function Reserved12: Integer; stdcall;
    function Reserved13: Integer; stdcall;
    function Reserved14: Integer; stdcall;
    function Reserved15: Integer; stdcall;
    function Reserved16: Integer; stdcall;
    function Reserved17: Integer; stdcall;
    function Reserved18: Integer; stdcall;
    function Reserved19: Integer; stdcall;
  end;

  { A page call's context: the caller number, the page, and the value store and parameter list
    it hands out (nil where it has none). }
  TCallContext = class(TSlots, IAppContext)
  protected
    FCallerNo, FWebID: Integer;
    FValues: IAppValues;
    FParams: IJsCallerInf;
    class function Intf: AnsiString; override;
  public
    constructor Create(ACallerNo, AWebID: Integer);
    function CallerNo: Integer; stdcall;
    function WebID: Integer; stdcall;
    procedure Values(out Result: IAppValues); stdcall;
    procedure Params(out Result: IJsCallerInf); stdcall;
  end;

{ Value as kTrueEAX or kFalseEAX. }
function PasBool(Value: Boolean): TPasBoolEAX;

implementation

uses
  ProbeRecord;

function PasBool(Value: Boolean): TPasBoolEAX;
begin
  if Value then
    Result := kTrueEAX
  else
    Result := kFalseEAX;
end;

function TSlots.Unused(Slot: Integer): Integer;
begin
  J('placeholder').Str('intf', Intf).Int('slot', Slot).Put;
  Result := 0;
end;

function TSlots.Reserved1: Integer; stdcall; begin Result := Unused(1); end;
function TSlots.Reserved2: Integer; stdcall; begin Result := Unused(2); end;
function TSlots.Reserved3: Integer; stdcall; begin Result := Unused(3); end;
function TSlots.Reserved4: Integer; stdcall; begin Result := Unused(4); end;
function TSlots.Reserved5: Integer; stdcall; begin Result := Unused(5); end;
function TSlots.Reserved6: Integer; stdcall; begin Result := Unused(6); end;
function TSlots.Reserved7: Integer; stdcall; begin Result := Unused(7); end;
function TSlots.Reserved8: Integer; stdcall; begin Result := Unused(8); end;
function TSlots.Reserved9: Integer; stdcall; begin Result := Unused(9); end;
function TSlots.Reserved10: Integer; stdcall; begin Result := Unused(10); end;
function TSlots.Reserved11: Integer; stdcall; begin Result := Unused(11); end;
function TSlots.Reserved12: Integer; stdcall; begin Result := Unused(12); end;
function TSlots.Reserved13: Integer; stdcall; begin Result := Unused(13); end;
function TSlots.Reserved14: Integer; stdcall; begin Result := Unused(14); end;
function TSlots.Reserved15: Integer; stdcall; begin Result := Unused(15); end;
function TSlots.Reserved16: Integer; stdcall; begin Result := Unused(16); end;
function TSlots.Reserved17: Integer; stdcall; begin Result := Unused(17); end;
function TSlots.Reserved18: Integer; stdcall; begin Result := Unused(18); end;
function TSlots.Reserved19: Integer; stdcall; begin Result := Unused(19); end;

class function TCallContext.Intf: AnsiString; begin Result := 'IAppContext'; end;

constructor TCallContext.Create(ACallerNo, AWebID: Integer);
begin
  inherited Create;
  FCallerNo := ACallerNo;
  FWebID := AWebID;
end;

function TCallContext.CallerNo: Integer; stdcall; begin Result := FCallerNo; end;
function TCallContext.WebID: Integer; stdcall; begin Result := FWebID; end;
procedure TCallContext.Values(out Result: IAppValues); stdcall; begin Result := FValues; end;
procedure TCallContext.Params(out Result: IJsCallerInf); stdcall; begin Result := FParams; end;

end.
