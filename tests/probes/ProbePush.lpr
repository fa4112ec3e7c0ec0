{ A small push-message library written from the push-message library's Pascal declarations, by
  the classic Object Pascal rules (see ProbeIntf.pas): UTF-16 texts, buffers handed over as the
  address of a variable holding the buffer's address, 64-bit offsets by value and by address, a
  delivery callback called during the export, and a filter asked for each candidate with a
  message object whose text members come back as wide strings through the hidden argument.
  It fills the registration-identifier buffer to its last byte without a terminating zero, and
  overwrites the delivered text as soon as the callback returns, so a client that reads past a
  buffer or keeps the delivered pointer shows it. Records everything in ProbePush.jsonl. }
library ProbePush;

{$mode delphi}{$H+}{$codepage UTF8}

uses
  Windows, ProbeRecord, ProbeFault;

type
  IZRPNSMessage = interface(IUnknown)
    procedure GetValue(Name: PWideChar; out Result: WideString); stdcall;
  end;

  TDeliverProc = procedure(Text: PWideChar; Datum: Pointer); stdcall;
  { Declared over the whole of EAX so that the record shows what the client put in AL. }
  TQueryFilter = function(const Msg: IZRPNSMessage): LongWord; stdcall;

  TMessage = class(TInterfacedObject, IZRPNSMessage)
    FBizType, FIsDiscard, FExpireTime: UnicodeString;
    constructor Create(const BizType, IsDiscard, ExpireTime: UnicodeString);
    procedure GetValue(Name: PWideChar; out Result: WideString); stdcall;
    function Json(Id: Integer): UnicodeString;
  end;

const
  { 32 characters: the whole 64-byte buffer, no room for a terminating zero. }
  kRegId: UnicodeString = 'REG-0123456789ABCDEF0123456789AB';

constructor TMessage.Create(const BizType, IsDiscard, ExpireTime: UnicodeString);
begin
  inherited Create;
  FBizType := BizType;
  FIsDiscard := IsDiscard;
  FExpireTime := ExpireTime;
end;

procedure TMessage.GetValue(Name: PWideChar; out Result: WideString); stdcall;
begin
  if lstrcmpW(Name, 'bizType') = 0 then Result := FBizType
  else if lstrcmpW(Name, 'isDiscard') = 0 then Result := FIsDiscard
  else if lstrcmpW(Name, 'expireTime') = 0 then Result := FExpireTime
  else Result := '';
end;

function TMessage.Json(Id: Integer): UnicodeString;
var
  N: AnsiString;
begin
  Str(Id, N);
  Result := '{"msgId":' + UnicodeString(N) + ',"bizType":"' + FBizType + '","title":"通知' +
    UnicodeString(N) + '"}';
end;

procedure PutText(Buffer: PPWideChar; Bytes: Integer; const Text: UnicodeString);
var
  N: Integer;
begin
  N := Length(Text) * 2;
  if N > Bytes then N := Bytes;
  Move(PWideChar(Text)^, Buffer^^, N);
end;

{ The candidates of every fetch: one kept notice, an expired trip, a cancellation, and a notice of
  another type; the client's filter decides. }
function Deliver(const BizType: AnsiString; Deliver: TDeliverProc; Datum: Pointer;
  Filter: TQueryFilter): Integer;
var
  Objects: array[0..3] of TMessage;
  Candidates: array[0..3] of IZRPNSMessage;
  Texts: UnicodeString;
  Kept, I: Integer;
  Keep: LongWord;
  Block: PWideChar;
begin
  Objects[0] := TMessage.Create('000000_ZYTZ', 'false', '');
  Objects[1] := TMessage.Create('XCTP', 'false', '2000-01-01 00:00:00');
  Objects[2] := TMessage.Create('xms.cancel', '', '');
  Objects[3] := TMessage.Create('tax.other', '', '');
  for I := 0 to 3 do Candidates[I] := Objects[I];
  Texts := '';
  Kept := 0;
  for I := 0 to 3 do
  begin
    Keep := 1;
    if Assigned(Filter) then Keep := Filter(Candidates[I]);
    J('filter').Int('candidate', I).Int('eax', Keep).Put;
    if (Keep and $FF) <> 0 then
    begin
      if Kept > 0 then Texts := Texts + ',';
      Texts := Texts + Objects[I].Json(I + 1);
      Inc(Kept);
    end;
  end;
  Texts := '[' + Texts + ']';
  { The delivered text lives in a block of this library that is wiped right after the call. }
  Block := PWideChar(GetMem((Length(Texts) + 1) * 2));
  Move(PWideChar(Texts)^, Block^, (Length(Texts) + 1) * 2);
  Deliver(Block, Datum);
  FillChar(Block^, Length(Texts) * 2, $41);
  FreeMem(Block);
  J('deliver').Str('bizType', BizType).Int('kept', Kept).Put;
  Result := Kept;
end;

function SetConfig(ClientID, AppID, AppSecret, AccountType, AccountName, Token, MAC, CompanyArray,
  AreaCode: PWideChar; Interval, Timeout: Integer; RegId, Msg: PPWideChar): Integer; stdcall;
begin
  J('setConfig').Str('clientId', WText(ClientID)).Str('appId', WText(AppID))
    .Str('appSecret', WText(AppSecret)).Str('accountType', WText(AccountType))
    .Str('accountName', WText(AccountName)).Str('token', WText(Token)).Str('mac', WText(MAC))
    .Str('companyArray', WText(CompanyArray)).Str('areaCode', WText(AreaCode))
    .Int('interval', Interval).Int('timeout', Timeout).Put;
  PutText(RegId, 64, kRegId);
  PutText(Msg, 1024, '配置成功');
  Result := 0;
end;

var
  GFetchRaised: Boolean = False;

function FetchEx(UniRegID, BizType: PWideChar; MsgCount: Integer; DeliverProc: TDeliverProc;
  Datum: Pointer; BeginOffset, EndOffset: PInt64; Msg: PPWideChar; Filter: TQueryFilter): Integer; stdcall;
begin
  J('fetchEx').Str('uniRegId', WText(UniRegID)).Str('bizType', WText(BizType)).Int('count', MsgCount)
    .Int('begin', BeginOffset^).Int('end', EndOffset^).Put;
  if Faulty('fetchEx') and not GFetchRaised then
  begin
    GFetchRaised := True;
    RaiseWide('拉取消息失败：网络中断');
  end;
  Deliver(WText(BizType), DeliverProc, Datum, Filter);
  BeginOffset^ := BeginOffset^ + 4;
  EndOffset^ := Int64(5000000000) + BeginOffset^;
  PutText(Msg, 1024, 'ok');
  Result := 0;
end;

function FetchOffsetEx(UniRegID, BizType: PWideChar; MsgCount: Integer; Offset: Int64;
  DeliverProc: TDeliverProc; Datum: Pointer; EndOffset: PInt64; Msg: PPWideChar;
  Filter: TQueryFilter): Integer; stdcall;
begin
  J('fetchOffsetEx').Str('uniRegId', WText(UniRegID)).Str('bizType', WText(BizType)).Int('count', MsgCount)
    .Int('offset', Offset).Put;
  Deliver(WText(BizType), DeliverProc, Datum, Filter);
  EndOffset^ := Offset + 4;
  Result := 0;
end;

function SendMsgReceipt(UniRegID: PWideChar; MsgID, Receipt: Integer; Msg: PPWideChar): Integer; stdcall;
begin
  J('sendMsgReceipt').Str('uniRegId', WText(UniRegID)).Int('msgId', MsgID).Int('receipt', Receipt).Put;
  Result := 7;
end;

procedure GetLastNetFetchError(UniRegID: PWideChar; Code, Msg: PPWideChar); stdcall;
begin
  J('getLastNetFetchError').Str('uniRegId', WText(UniRegID)).Put;
end;

function HttpRequestFetch(UniRegID: PWideChar; Msg: PPWideChar): Integer; stdcall;
begin
  J('httpRequestFetch').Str('uniRegId', WText(UniRegID)).Put;
  Result := 0;
end;

exports
  SetConfig, FetchEx, FetchOffsetEx, SendMsgReceipt, GetLastNetFetchError, HttpRequestFetch;

begin
  OpenRecord(HInstance, 'ProbePush.jsonl');
  LoadFaults(HInstance);
end.
