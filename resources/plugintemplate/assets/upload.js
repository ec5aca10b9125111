/*
 * Uploads the funnel's delivery files in pieces smaller than the host's upload limit. Each file
 * continues from the bytes the server reports having, so a broken connection or a closed tab
 * costs at most one piece.
 */
( function () {
	'use strict';
	var table = document.querySelector( 'table[data-upload]' );
	if ( ! table ) {
		return;
	}
	var settings = JSON.parse( table.dataset.upload );
	var funnel = settings.funnel;

	function post( fields, piece ) {
		var form = new FormData();
		Object.keys( fields ).forEach( function ( key ) {
			form.append( key, fields[ key ] );
		} );
		form.append( 'nonce', settings.nonce );
		form.append( 'funnel', funnel );
		if ( piece ) {
			form.append( 'piece', piece, 'piece' );
		}
		return fetch( settings.url, { method: 'POST', body: form, credentials: 'same-origin' } ).then( function ( response ) {
			return response.json().then( function ( answer ) {
				return { status: response.status, answer: answer };
			} );
		} );
	}

	function wait( ms ) {
		return new Promise( function ( resolve ) {
			setTimeout( resolve, ms );
		} );
	}

	function show( row, text, state ) {
		var cell = row.children[ 1 ];
		cell.textContent = text;
		if ( state ) {
			row.querySelector( 'progress' ).value = state.received;
			cell.className = state.present ? 'present' : 'missing';
		}
	}

	// The server's count of bytes for this file, to start or continue from.
	function received( index ) {
		return post( { action: settings.status } ).then( function ( reply ) {
			if ( ! reply.answer.success ) {
				throw new Error( reply.answer.data.message );
			}
			return reply.answer.data[ index ];
		} );
	}

	function upload( row, file ) {
		var index = Number( row.dataset.index );
		var tries = 0;
		function next( state ) {
			show( row, state.present ? settings.texts.present : settings.texts.sending.replace( '%s', Math.floor( 100 * state.received / Math.max( 1, state.size ) ) + '%' ), state );
			if ( state.present ) {
				return Promise.resolve( state );
			}
			var piece = file.slice( state.received, state.received + settings.pieceSize );
			return post( { action: settings.piece, index: index, offset: state.received }, piece ).then( function ( reply ) {
				tries = 0;
				if ( reply.answer.success ) {
					return next( reply.answer.data );
				}
				if ( 409 === reply.status && ! reply.answer.data.present ) {
					return next( reply.answer.data );
				}
				show( row, reply.answer.data.message, reply.answer.data );
				return null;
			}, function () {
				tries += 1;
				if ( tries > 5 ) {
					throw new Error( settings.texts.failed );
				}
				show( row, settings.texts.retrying );
				return wait( 2000 * tries ).then( function () {
					return received( index );
				} ).then( next );
			} );
		}
		return received( index ).then( next );
	}

	table.addEventListener( 'click', function ( event ) {
		if ( ! event.target.matches( 'button' ) ) {
			return;
		}
		var row = event.target.closest( 'tr' );
		var input = row.querySelector( 'input[type=file]' );
		if ( ! input.files.length ) {
			show( row, settings.texts.choose );
			return;
		}
		if ( input.files[ 0 ].size !== Number( row.dataset.size ) ) {
			show( row, settings.texts.wrongSize );
			return;
		}
		event.target.disabled = true;
		upload( row, input.files[ 0 ] ).catch( function ( error ) {
			show( row, error.message || settings.texts.failed );
		} ).then( function () {
			event.target.disabled = false;
		} );
	} );
}() );
